// Decode tables (limits, first indexes, symbol order, stale entries), the
// direct lookup against a plain linear search for every 16-bit peek, and the
// reading of block code lengths (keep flag, runs, multimedia headers).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "support/stream_builder.h"
#include "unpack/bit_input.h"
#include "unpack/code_tables.h"
#include "unpack/unpack_state.h"

namespace sfx {
namespace {

using test::Bytes;
using test::Lengths;
using test::StreamBuilder;

// Places a 16-bit peek at the start of the input buffer.
void SetPeek(UnpackState& state, std::uint32_t peek) {
  state.byte_pos = 0;
  state.bit_pos = 0;
  state.input_buffer[0] = static_cast<std::uint8_t>(peek >> 8);
  state.input_buffer[1] = static_cast<std::uint8_t>(peek);
  state.input_buffer[2] = 0;
}

struct Decoded {
  std::uint32_t symbol;
  std::uint32_t bits;
};

Decoded DecodeAt(UnpackState& state, const DecodeTable& table, std::uint32_t peek) {
  SetPeek(state, peek);
  const std::uint32_t symbol = DecodeSymbol(state, table);
  return {symbol, static_cast<std::uint32_t>(state.byte_pos) * 8 + state.bit_pos};
}

// The decoding rule written as plainly as possible: the smallest length
// 1..14 whose limit lies above the masked peek, else 15; an index past the
// symbol count selects entry 0.
Decoded LinearReference(const DecodeTable& table, std::uint32_t peek) {
  const std::uint32_t b = peek & 0xFFFEu;
  std::uint32_t length = 15;
  for (std::uint32_t k = 1; k <= 14; ++k) {
    if (b < table.limit[k]) {
      length = k;
      break;
    }
  }
  std::uint32_t index = table.first_index[length] + ((b - table.limit[length - 1]) >> (16 - length));
  if (index >= static_cast<std::uint32_t>(table.symbol_count)) index = 0;
  return {table.symbols[index], length};
}

// --- Building ---

TEST(BuildDecodeTableTest, FourSymbolExample) {
  DecodeTable table;
  const Lengths lengths = {1, 2, 3, 3};  // W X Y Z
  BuildDecodeTable(lengths.data(), table, 4);
  EXPECT_EQ(table.limit[0], 0u);
  EXPECT_EQ(table.limit[1], 0x8000u);
  EXPECT_EQ(table.limit[2], 0xC000u);
  for (int k = 3; k <= 15; ++k) EXPECT_EQ(table.limit[k], 0xFFFFu) << k;
  EXPECT_EQ(table.first_index[1], 0u);
  EXPECT_EQ(table.first_index[2], 1u);
  EXPECT_EQ(table.first_index[3], 2u);
  EXPECT_EQ(table.first_index[4], 4u);
  EXPECT_EQ(table.symbol_count, 4);
  EXPECT_EQ(std::vector<std::uint32_t>(table.symbols, table.symbols + 4), (std::vector<std::uint32_t>{0, 1, 2, 3}));

  auto state = NewUnpackState();
  for (std::uint32_t peek : {0x0000u, 0x4321u, 0x7FFFu}) {
    const Decoded d = DecodeAt(*state, table, peek);
    EXPECT_EQ(d.symbol, 0u) << peek;
    EXPECT_EQ(d.bits, 1u) << peek;
  }
  EXPECT_EQ(DecodeAt(*state, table, 0x8000).symbol, 1u);
  EXPECT_EQ(DecodeAt(*state, table, 0xC000).symbol, 2u);
  const Decoded z = DecodeAt(*state, table, 0xE000);
  EXPECT_EQ(z.symbol, 3u);
  EXPECT_EQ(z.bits, 3u);
  const Decoded top = DecodeAt(*state, table, 0xFFFF);
  EXPECT_EQ(top.symbol, 3u);
  EXPECT_EQ(top.bits, 3u);
}

TEST(BuildDecodeTableTest, EqualLengthsAreOrderedByValueAndZeroLengthsLeftOut) {
  DecodeTable table;
  const Lengths lengths = {3, 0, 2, 3, 0, 2, 3};
  BuildDecodeTable(lengths.data(), table, 7);
  EXPECT_EQ(std::vector<std::uint32_t>(table.symbols, table.symbols + 5), (std::vector<std::uint32_t>{2, 5, 0, 3, 6}));
  auto state = NewUnpackState();
  EXPECT_EQ(DecodeAt(*state, table, 0x0000).symbol, 2u);  // 00
  EXPECT_EQ(DecodeAt(*state, table, 0x4000).symbol, 5u);  // 01
  EXPECT_EQ(DecodeAt(*state, table, 0x8000).symbol, 0u);  // 100
  EXPECT_EQ(DecodeAt(*state, table, 0xA000).symbol, 3u);  // 101
  EXPECT_EQ(DecodeAt(*state, table, 0xC000).symbol, 6u);  // 110
}

TEST(BuildDecodeTableTest, OverFullLengthsSaturateTheLimits) {
  DecodeTable table;
  const Lengths lengths = {1, 1, 1, 2};
  BuildDecodeTable(lengths.data(), table, 4);
  for (int k = 1; k <= 15; ++k) EXPECT_EQ(table.limit[k], 0xFFFFu) << k;
  auto state = NewUnpackState();
  EXPECT_EQ(DecodeAt(*state, table, 0x0000).symbol, 0u);
  EXPECT_EQ(DecodeAt(*state, table, 0x8000).symbol, 1u);
  EXPECT_EQ(DecodeAt(*state, table, 0xFFFF).symbol, 1u) << "masked peek below the capped limit";
}

TEST(BuildDecodeTableTest, LowestPeekedBitIsIgnoredEvenAtACappedLongLimit) {
  // One code each of lengths 1 to 11 (limit[11] = 0xFFE0), then three of
  // length 12 where only two fit: limit[12] is capped at 0xFFFF. A peek of
  // 0xFFFF, masked to 0xFFFE, still lies below it.
  Lengths lengths;
  for (std::uint8_t l = 1; l <= 11; ++l) lengths.push_back(l);
  lengths.insert(lengths.end(), 3, 12);
  DecodeTable table;
  BuildDecodeTable(lengths.data(), table, static_cast<int>(lengths.size()));
  EXPECT_EQ(table.limit[11], 0xFFE0u);
  EXPECT_EQ(table.limit[12], 0xFFFFu);
  auto state = NewUnpackState();
  const Decoded top = DecodeAt(*state, table, 0xFFFF);
  EXPECT_EQ(top.bits, 12u);
  EXPECT_EQ(top.symbol, 12u) << "index 11 + (0xFFFE - 0xFFE0) / 16";
  const Decoded below = DecodeAt(*state, table, 0xFFEF);
  EXPECT_EQ(below.bits, 12u);
  EXPECT_EQ(below.symbol, 11u);
}

TEST(BuildDecodeTableTest, IncompleteCodeSpaceSelectsEntryZeroPastTheCount) {
  DecodeTable table;
  const Lengths lengths = {0, 2, 0};  // only symbol 1, code 00
  BuildDecodeTable(lengths.data(), table, 3);
  auto state = NewUnpackState();
  EXPECT_EQ(DecodeAt(*state, table, 0x0000).symbol, 1u);
  // 0xFFFE lies past every limit: length 15, index far past the count.
  const Decoded d = DecodeAt(*state, table, 0xFFFF);
  EXPECT_EQ(d.bits, 15u);
  EXPECT_EQ(d.symbol, table.symbols[0]);
}

TEST(BuildDecodeTableTest, EntriesPastTheCodedOnesKeepStaleValues) {
  DecodeTable table;
  const Lengths first = {2, 2, 2, 2};  // symbols 0 1 2 3 at 0..3
  BuildDecodeTable(first.data(), table, 4);
  const Lengths second = {0, 0, 0, 2};  // one coded symbol: entry 0 = 3
  BuildDecodeTable(second.data(), table, 4);
  EXPECT_EQ(std::vector<std::uint32_t>(table.symbols, table.symbols + 4), (std::vector<std::uint32_t>{3, 1, 2, 3}));
  auto state = NewUnpackState();
  // Peeks past the one code take length 15; the index grows by one per two
  // peek values from 1, so small ones select stale entries and larger ones
  // fall past the count to entry 0.
  EXPECT_EQ(DecodeAt(*state, table, 0x4000).symbol, 1u);
  EXPECT_EQ(DecodeAt(*state, table, 0x4002).symbol, 2u);
  EXPECT_EQ(DecodeAt(*state, table, 0x4005).symbol, 3u);
  EXPECT_EQ(DecodeAt(*state, table, 0x8000).symbol, 3u);
}

TEST(BuildDecodeTableTest, LookupAgreesWithTheLinearRuleForEveryPeek) {
  std::mt19937 rng(20240611);
  auto state = NewUnpackState();
  DecodeTable table;
  for (int round = 0; round < 60; ++round) {
    const int count = round % 3 == 0 ? 298 : (round % 3 == 1 ? 19 : 1 + static_cast<int>(rng() % 257));
    Lengths lengths(static_cast<std::size_t>(count));
    const int style = round % 5;
    if (style == 4) {
      // Complete: the leaves of a random binary tree of depth <= 15, as an
      // encoder sends, scattered among unused symbols.
      std::vector<std::uint8_t> leaves{0};
      const std::size_t want = 2 + rng() % (static_cast<std::size_t>(count) - 1 + (count == 1));
      while (leaves.size() < want) {
        const std::size_t i = rng() % leaves.size();
        if (leaves[i] == 15) continue;
        ++leaves[i];
        leaves.push_back(leaves[i]);
      }
      std::vector<std::size_t> at(lengths.size());
      for (std::size_t i = 0; i < at.size(); ++i) at[i] = i;
      std::shuffle(at.begin(), at.end(), rng);
      lengths.assign(lengths.size(), 0);
      for (std::size_t i = 0; i < leaves.size() && i < at.size(); ++i) lengths[at[i]] = leaves[i];
    }
    for (auto& l : lengths) {
      if (style == 0) l = static_cast<std::uint8_t>(rng() % 16);                          // mostly over-full
      if (style == 1) l = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : 8 + rng() % 8);  // long, incomplete
      if (style == 2) l = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : 1 + rng() % 15);
      if (style == 3) l = static_cast<std::uint8_t>(9 + rng() % 2);  // around the lookup width
    }
    if (round % 5 == 0) lengths.assign(lengths.size(), 0);  // no code at all
    BuildDecodeTable(lengths.data(), table, count);
    for (std::uint32_t peek = 0; peek <= 0xFFFF; ++peek) {
      const Decoded got = DecodeAt(*state, table, peek);
      const Decoded want = LinearReference(table, peek);
      if (got.symbol != want.symbol || got.bits != want.bits) {
        ADD_FAILURE() << "round " << round << " peek " << peek << ": got " << got.symbol << "/" << got.bits << ", want "
                      << want.symbol << "/" << want.bits;
        break;
      }
    }
  }
}

// --- Reading code lengths ---

// A state reading the given plain stream, filled and ready for a table read.
struct Reader {
  explicit Reader(const Bytes& plain) : stored(test::Scramble(plain)), state(NewUnpackState()) {
    state->stream_cursor = stored.data();
    state->stream_end = stored.data() + stored.size();
    FillInputBuffer(*state, true);
  }
  std::uint32_t BitsConsumed() const { return static_cast<std::uint32_t>(state->byte_pos) * 8 + state->bit_pos; }
  Bytes stored;
  UnpackStatePtr state;
};

Lengths AllLz(const Lengths& literal, const Lengths& distance, const Lengths& repeat) {
  Lengths all(literal);
  all.insert(all.end(), distance.begin(), distance.end());
  all.insert(all.end(), repeat.begin(), repeat.end());
  return all;
}

TEST(ReadCodeTablesTest, AbsoluteLzLengthsBuildThreeTables) {
  StreamBuilder b;
  Lengths literal(298, 0), distance(48, 0), repeat(28, 0);
  literal[65] = 1;
  literal[297] = 1;
  distance[47] = 1;
  repeat[3] = 1;
  repeat[27] = 2;
  b.LzTables(literal, distance, repeat);
  const std::size_t table_bits = b.w.bit_count();
  Reader r(b.Finish());
  ReadCodeTables(*r.state);
  EXPECT_EQ(r.BitsConsumed(), table_bits);
  EXPECT_EQ(r.state->multimedia_mode, 0u);
  EXPECT_EQ(Lengths(r.state->previous_lengths, r.state->previous_lengths + 374), AllLz(literal, distance, repeat));
  EXPECT_EQ(r.state->literal_table.symbols[0], 65u);
  EXPECT_EQ(r.state->literal_table.symbols[1], 297u);
  EXPECT_EQ(r.state->distance_table.symbols[0], 47u);
  EXPECT_EQ(r.state->repeat_table.symbols[0], 3u);
  EXPECT_EQ(r.state->repeat_table.symbols[1], 27u);
  EXPECT_EQ(r.state->literal_table.symbol_count, 298);
  EXPECT_EQ(r.state->distance_table.symbol_count, 48);
  EXPECT_EQ(r.state->repeat_table.symbol_count, 28);
}

TEST(ReadCodeTablesTest, KeepFlagAddsToThePreviousLengthsModulo16) {
  StreamBuilder b;
  Lengths first(374, 0);
  first[0] = 12;
  first[1] = 5;
  b.TableBlock(false, 1, false, StreamBuilder::PlainBitLengths(), StreamBuilder::PlainItems(first));
  std::vector<StreamBuilder::LengthItem> diffs(374, StreamBuilder::LengthItem{0});
  diffs[0] = {7};
  diffs[2] = {4};
  b.TableBlock(false, 1, true, StreamBuilder::PlainBitLengths(), diffs);
  Reader r(b.Finish());
  ReadCodeTables(*r.state);
  ReadCodeTables(*r.state);
  EXPECT_EQ(r.state->previous_lengths[0], 3);  // (12 + 7) & 15
  EXPECT_EQ(r.state->previous_lengths[1], 5);
  EXPECT_EQ(r.state->previous_lengths[2], 4);
  // Symbols 0 (3 bits), 2 (4 bits), 1 (5 bits), in length order.
  EXPECT_EQ(r.state->literal_table.symbols[0], 0u);
  EXPECT_EQ(r.state->literal_table.symbols[1], 2u);
  EXPECT_EQ(r.state->literal_table.symbols[2], 1u);
}

TEST(ReadCodeTablesTest, WithoutTheKeepFlagLengthsStartFromZero) {
  StreamBuilder b;
  Lengths first(374, 6);
  b.TableBlock(false, 1, false, StreamBuilder::PlainBitLengths(), StreamBuilder::PlainItems(first));
  std::vector<StreamBuilder::LengthItem> second(374, StreamBuilder::LengthItem{1});
  b.TableBlock(false, 1, false, StreamBuilder::PlainBitLengths(), second);
  Reader r(b.Finish());
  ReadCodeTables(*r.state);
  ReadCodeTables(*r.state);
  for (int i = 0; i < 374; ++i) ASSERT_EQ(r.state->previous_lengths[i], 1) << i;
}

TEST(ReadCodeTablesTest, RunCodesRepeatAndFillZeros) {
  StreamBuilder b;
  // 5, repeat x3 (16 + 00), 18 + 1111111 (138 zeros), 17 + 111 (10 zeros), 9,
  // 16 + 11 (x6), then 7 for everything else.
  std::vector<StreamBuilder::LengthItem> items = {{5}, {16, 0, 2}, {18, 127, 7}, {17, 7, 3}, {9}, {16, 3, 2}};
  const int produced = 1 + 3 + 138 + 1 + 10 + 6;
  for (int i = produced; i < 374; ++i) items.push_back({7});
  b.TableBlock(false, 1, false, StreamBuilder::RunBitLengths(), items);
  const std::size_t table_bits = b.w.bit_count();
  Reader r(b.Finish());
  ReadCodeTables(*r.state);
  EXPECT_EQ(r.BitsConsumed(), table_bits);
  const std::uint8_t* got = r.state->previous_lengths;
  Lengths want;
  want.push_back(5);
  want.insert(want.end(), 3, 5);
  want.insert(want.end(), 138, 0);
  want.insert(want.end(), 10, 0);
  want.push_back(9);
  want.insert(want.end(), 6, 9);
  want.insert(want.end(), 374 - produced, 7);
  EXPECT_EQ(Lengths(got, got + 374), want);
}

TEST(ReadCodeTablesTest, RepeatAtTheFirstPositionRepeatsZero) {
  StreamBuilder b;
  std::vector<StreamBuilder::LengthItem> items = {{16, 0, 2}};
  for (int i = 3; i < 374; ++i) items.push_back({4});
  b.TableBlock(false, 1, false, StreamBuilder::RunBitLengths(), items);
  Reader r(b.Finish());
  ReadCodeTables(*r.state);
  EXPECT_EQ(r.state->previous_lengths[0], 0);
  EXPECT_EQ(r.state->previous_lengths[2], 0);
  EXPECT_EQ(r.state->previous_lengths[3], 4);
}

TEST(ReadCodeTablesTest, RunPastTheTableSizeIsCutAndEndsTheLoop) {
  StreamBuilder b;
  std::vector<StreamBuilder::LengthItem> items;
  for (int i = 0; i < 370; ++i) items.push_back({3});
  items.push_back({18, 127, 7});  // 138 zeros, only 4 fit
  b.TableBlock(false, 1, false, StreamBuilder::RunBitLengths(), items);
  const std::size_t table_bits = b.w.bit_count();
  b.Bits(0x1FF, 9);  // must not be read as lengths
  Reader r(b.Finish());
  ReadCodeTables(*r.state);
  EXPECT_EQ(r.BitsConsumed(), table_bits);
  EXPECT_EQ(r.state->previous_lengths[369], 3);
  for (int i = 370; i < 1028; ++i) ASSERT_EQ(r.state->previous_lengths[i], 0) << i;
}

TEST(ReadCodeTablesTest, MultimediaHeaderWithFourChannelsBuilds1028Lengths) {
  StreamBuilder b;
  Lengths all(1028, 0);
  for (int j = 0; j < 4; ++j) all[257 * j + 10 * (j + 1)] = 1;
  b.TableBlock(true, 4, false, StreamBuilder::PlainBitLengths(), StreamBuilder::PlainItems(all));
  const std::size_t table_bits = b.w.bit_count();
  Reader r(b.Finish());
  ReadCodeTables(*r.state);
  EXPECT_EQ(r.BitsConsumed(), table_bits);
  EXPECT_EQ(r.state->multimedia_mode, 0x8000u);
  EXPECT_EQ(r.state->channel_count, 4);
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(r.state->channel_tables[j].symbols[0], static_cast<std::uint32_t>(10 * (j + 1))) << j;
    EXPECT_EQ(r.state->channel_tables[j].symbol_count, 257);
  }
  EXPECT_EQ(Lengths(r.state->previous_lengths, r.state->previous_lengths + 1028), all);
}

TEST(ReadCodeTablesTest, CurrentChannelIsResetOnlyWhenOutOfRange) {
  for (const auto& [before, after] : std::vector<std::pair<int, int>>{{3, 0}, {1, 1}, {2, 0}}) {
    StreamBuilder b;
    b.MultimediaTables(2);
    Reader r(b.Finish());
    r.state->current_channel = before;
    ReadCodeTables(*r.state);
    EXPECT_EQ(r.state->channel_count, 2);
    EXPECT_EQ(r.state->current_channel, after) << "was " << before;
  }
}

TEST(ReadCodeTablesTest, LzBlockAfterMultimediaLeavesChannelTablesAndZeroesTheTail) {
  StreamBuilder b;
  Lengths channel(257, 0);
  channel[200] = 1;
  b.MultimediaTables(4, channel);
  b.LzTables();
  Reader r(b.Finish());
  ReadCodeTables(*r.state);
  ReadCodeTables(*r.state);
  EXPECT_EQ(r.state->multimedia_mode, 0u);
  EXPECT_EQ(r.state->channel_count, 4) << "only a multimedia header sets the channel count";
  for (int j = 0; j < 4; ++j) EXPECT_EQ(r.state->channel_tables[j].symbols[0], 200u);
  EXPECT_EQ(r.state->previous_lengths[0], 9);
  for (int i = 374; i < 1028; ++i) ASSERT_EQ(r.state->previous_lengths[i], 0) << i;
}

TEST(ReadCodeTablesTest, KeptMultimediaLengthsPastAnLzBlockStartFromZero) {
  // After an LZ block, entries 374.. of the previous lengths are zero, so a
  // kept four-channel block adds to zero there.
  StreamBuilder b;
  b.MultimediaTables(4, Lengths(257, 9));
  b.LzTables();
  std::vector<StreamBuilder::LengthItem> diffs(1028, StreamBuilder::LengthItem{2});
  b.TableBlock(true, 4, true, StreamBuilder::PlainBitLengths(), diffs);
  Reader r(b.Finish());
  for (int i = 0; i < 3; ++i) ReadCodeTables(*r.state);
  EXPECT_EQ(r.state->previous_lengths[0], 11);   // 9 + 2
  EXPECT_EQ(r.state->previous_lengths[300], 8);  // distance length 6 + 2
  EXPECT_EQ(r.state->previous_lengths[373], 7);  // repeat length 5 + 2
  EXPECT_EQ(r.state->previous_lengths[374], 2);  // zero + 2
  EXPECT_EQ(r.state->previous_lengths[1027], 2);
}

}  // namespace
}  // namespace sfx
