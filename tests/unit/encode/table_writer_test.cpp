// Table writing: streams made of tables and a few symbols decode, kept
// lengths are used only where the previous read covers them, and the cost
// estimate equals the bits written.
#include <gtest/gtest.h>

#include <random>
#include <span>
#include <string>

#include "encode/bit_writer.h"
#include "encode/prefix_code.h"
#include "encode/table_writer.h"
#include "format/delta_predictor.h"
#include "support/decode_stream.h"

namespace sfx::encode {
namespace {

// An LZ code for which `used` symbols (plus 269) have codes.
PrefixCode LzLiteralCode(const std::string& used, std::uint32_t bias) {
  std::vector<std::uint32_t> counts(kLiteralSymbols, 0);
  for (char c : used) counts[static_cast<std::uint8_t>(c)] += 10 + bias;
  counts[kSymbolNewTables] = 1;
  PrefixCode code;
  BuildPrefixCode(counts, 15, code);
  return code;
}

void WriteLz(BitWriter& out, TableHistory& history, const PrefixCode& literal) {
  std::uint8_t lengths[kLzTableSize] = {};
  std::copy(literal.lengths, literal.lengths + kLiteralSymbols, lengths);
  // Complete two-symbol codes for the unused distance and repeat alphabets.
  lengths[kLiteralSymbols] = lengths[kLiteralSymbols + 1] = 1;
  lengths[kLiteralSymbols + kDistanceSymbols] = lengths[kLiteralSymbols + kDistanceSymbols + 1] = 1;
  WriteCodeTables(out, 0, lengths, kLzTableSize, history);
}

void PutSymbol(BitWriter& out, const PrefixCode& code, int symbol) {
  ASSERT_GT(code.lengths[symbol], 0);
  out.Put(code.codes[symbol], code.lengths[symbol]);
}

TEST(TableWriter, StreamOfTablesAndFewSymbolsDecodes) {
  std::vector<std::uint8_t> stream;
  BitWriter out(stream);
  TableHistory history;
  std::string expected;

  // Three LZ tables in a row with a byte or two each; the later ones are
  // close to the first, so they go out as kept differences.
  const char* texts[] = {"ab", "b", "ba"};
  for (std::uint32_t t = 0; t < 3; ++t) {
    const PrefixCode code = LzLiteralCode("abcdefghijklmnop", t);
    WriteLz(out, history, code);
    for (const char* c = texts[t]; *c != 0; ++c) PutSymbol(out, code, static_cast<std::uint8_t>(*c));
    expected += texts[t];
    PutSymbol(out, code, kSymbolNewTables);
  }
  EXPECT_GE(history.kept_reads, 1u);

  // A two-channel multimedia block, then an LZ block again.
  DeltaPredictor predictor;
  std::vector<std::uint32_t> counts[2] = {std::vector<std::uint32_t>(kChannelSymbols, 1),
                                          std::vector<std::uint32_t>(kChannelSymbols, 1)};
  PrefixCode channel_codes[2];
  std::uint8_t lengths[2 * kChannelSymbols];
  for (int c = 0; c < 2; ++c) {
    BuildPrefixCode(counts[c], 15, channel_codes[c]);
    std::copy(channel_codes[c].lengths, channel_codes[c].lengths + kChannelSymbols, lengths + c * kChannelSymbols);
  }
  WriteCodeTables(out, 2, lengths, 2 * kChannelSymbols, history);
  const std::string pcm = "\x10\x20\x12\x22\x14\x24";
  int channel = 0;
  for (char c : pcm) {
    PutSymbol(out, channel_codes[channel], predictor.EncodeByte(channel, static_cast<std::uint8_t>(c)));
    channel ^= 1;
  }
  expected += pcm;
  PutSymbol(out, channel_codes[channel], kChannelSymbolNewTables);

  const PrefixCode last = LzLiteralCode("z", 0);
  WriteLz(out, history, last);
  PutSymbol(out, last, 'z');
  expected += "z";
  out.Flush();

  const auto decoded = test::DecodePlain(stream, expected.size()).output;
  EXPECT_EQ(std::string(decoded.begin(), decoded.end()), expected);
}

TEST(TableWriter, KeepsLengthsOnlyWhenThePreviousReadCoversThem) {
  std::vector<std::uint8_t> stream;
  BitWriter out(stream);
  TableHistory history;
  const PrefixCode code = LzLiteralCode("abc", 0);
  WriteLz(out, history, code);
  PutSymbol(out, code, 'a');
  PutSymbol(out, code, kSymbolNewTables);
  // A four-channel table (1028 lengths) starting with the same lengths as
  // the LZ table: kept form would be cheaper, but the previous read had only
  // 374 lengths.
  std::uint8_t lengths[kMaxTableSize] = {};
  std::vector<std::uint32_t> counts(kChannelSymbols, 1);
  PrefixCode channel;
  BuildPrefixCode(counts, 15, channel);
  for (int c = 0; c < 4; ++c)
    std::copy(channel.lengths, channel.lengths + kChannelSymbols, lengths + c * kChannelSymbols);
  const std::uint32_t kept_before = history.kept_reads;
  WriteCodeTables(out, 4, lengths, kMaxTableSize, history);
  EXPECT_EQ(history.kept_reads, kept_before);
  // Bytes on channels 0..3 in turn, from a fresh predictor.
  DeltaPredictor predictor;
  const std::string bytes = "wxyz";
  for (int c = 0; c < 4; ++c)
    PutSymbol(out, channel, predictor.EncodeByte(c, static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(c)])));
  // A one-channel table now may keep: 257 <= 1028.
  PutSymbol(out, channel, kChannelSymbolNewTables);
  WriteCodeTables(out, 1, lengths, kChannelSymbols, history);
  EXPECT_EQ(history.kept_reads, kept_before + 1);
  PutSymbol(out, channel, predictor.EncodeByte(0, 'q'));
  out.Flush();
  const auto decoded = test::DecodePlain(stream, 6).output;
  EXPECT_EQ(std::string(decoded.begin(), decoded.end()), "awxyzq");
}

TEST(TableWriter, CostEstimateMatchesTheBitsWritten) {
  std::mt19937 rng(5);
  TableHistory history;
  std::vector<std::uint8_t> stream;
  BitWriter out(stream);
  for (int round = 0; round < 30; ++round) {
    const int channels = static_cast<int>(rng() % 5);
    const int size = channels == 0 ? kLzTableSize : channels * kChannelSymbols;
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(size));
    for (auto& c : counts) c = rng() % 4 == 0 ? 0 : rng() % 300;
    std::vector<std::uint8_t> lengths(static_cast<std::size_t>(size));
    BuildCodeLengths(counts, 15, lengths.data());
    const std::uint32_t estimate = CodeTablesCostBits(channels, lengths.data(), size, history);
    const std::uint64_t before = out.BitCount();
    WriteCodeTables(out, channels, lengths.data(), size, history);
    EXPECT_EQ(out.BitCount() - before, estimate);
  }
}

}  // namespace
}  // namespace sfx::encode
