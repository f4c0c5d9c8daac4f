// Block writing (see block_writer.h).
//
// LZ table layout: kLiteralSymbols lengths of the literal code, then
// kDistanceSymbols of the distance code and kRepeatSymbols of the
// repeat-length code. Multimedia layout: kChannelSymbols lengths per channel.
#include "encode/block_writer.h"

#include <span>

#include "encode/prefix_code.h"

namespace sfx::encode {

namespace {

// Builds the three LZ codes from `counts` (plus the closing symbol when the
// block is `followed`) and writes their tables.
void WriteLzTables(BitWriter& out, const LzCounts& counts, bool followed, TableHistory& history, PrefixCode& literal,
                   PrefixCode& distance, PrefixCode& repeat) {
  LzCounts final_counts = counts;
  if (followed) ++final_counts.literal[kSymbolNewTables];
  BuildPrefixCode(final_counts.literal, kMaxCodeBits, literal);
  BuildPrefixCode(final_counts.distance, kMaxCodeBits, distance);
  BuildPrefixCode(final_counts.repeat, kMaxCodeBits, repeat);
  std::uint8_t lengths[kLzTableSize];
  std::copy(literal.lengths, literal.lengths + kLiteralSymbols, lengths);
  std::copy(distance.lengths, distance.lengths + kDistanceSymbols, lengths + kLiteralSymbols);
  std::copy(repeat.lengths, repeat.lengths + kRepeatSymbols, lengths + kLiteralSymbols + kDistanceSymbols);
  WriteCodeTables(out, 0, lengths, kLzTableSize, history);
}

}  // namespace

void WriteLzBlock(BitWriter& out, const std::vector<Token>& tokens, const LzCounts& counts, bool followed,
                  TableHistory& history) {
  PrefixCode literal, distance, repeat;
  WriteLzTables(out, counts, followed, history, literal, distance, repeat);

  for (const Token& token : tokens) {
    if (token.kind == TokenKind::kLiteral) {
      out.Put(literal.codes[token.value], literal.lengths[token.value]);
      continue;
    }
    const TokenSymbols s = MapToken(token);
    out.Put(literal.codes[s.literal_symbol], literal.lengths[s.literal_symbol]);
    out.Put(s.first_extra, s.first_extra_bits);
    if (s.second_symbol >= 0) {
      const PrefixCode& code = s.second_is_distance ? distance : repeat;
      out.Put(code.codes[s.second_symbol], code.lengths[s.second_symbol]);
      out.Put(s.second_extra, s.second_extra_bits);
    }
  }
  if (followed) out.Put(literal.codes[kSymbolNewTables], literal.lengths[kSymbolNewTables]);
}

void WriteLiteralBlock(BitWriter& out, const std::uint8_t* bytes, std::size_t size, const LzCounts& counts,
                       bool followed, TableHistory& history) {
  PrefixCode literal, distance, repeat;
  WriteLzTables(out, counts, followed, history, literal, distance, repeat);
  // Two bytes per Put: literal codes are at most 15 bits.
  std::size_t i = 0;
  for (; i + 2 <= size; i += 2) {
    const std::uint8_t a = bytes[i], b = bytes[i + 1];
    out.Put((std::uint32_t{literal.codes[a]} << literal.lengths[b]) | literal.codes[b],
            literal.lengths[a] + literal.lengths[b]);
  }
  if (i < size) out.Put(literal.codes[bytes[i]], literal.lengths[bytes[i]]);
  if (followed) out.Put(literal.codes[kSymbolNewTables], literal.lengths[kSymbolNewTables]);
}

void WriteMultimediaBlock(BitWriter& out, int channels, int start_channel, const std::vector<std::uint8_t>& deltas,
                          bool followed, TableHistory& history) {
  std::uint32_t counts[kMaxChannels][kChannelSymbols] = {};
  int channel = start_channel;
  for (std::uint8_t d : deltas) {
    ++counts[channel][d];
    if (++channel == channels) channel = 0;
  }
  const int end_channel = channel;
  if (followed) ++counts[end_channel][kChannelSymbolNewTables];
  PrefixCode codes[kMaxChannels];
  std::uint8_t lengths[kMaxTableSize];
  for (int c = 0; c < channels; ++c) {
    BuildPrefixCode(std::span<const std::uint32_t>(counts[c], kChannelSymbols), kMaxCodeBits, codes[c]);
    std::copy(codes[c].lengths, codes[c].lengths + kChannelSymbols, lengths + c * kChannelSymbols);
  }
  WriteCodeTables(out, channels, lengths, channels * kChannelSymbols, history);
  channel = start_channel;
  for (std::uint8_t d : deltas) {
    out.Put(codes[channel].codes[d], codes[channel].lengths[d]);
    if (++channel == channels) channel = 0;
  }
  if (followed)
    out.Put(codes[end_channel].codes[kChannelSymbolNewTables], codes[end_channel].lengths[kChannelSymbolNewTables]);
}

}  // namespace sfx::encode
