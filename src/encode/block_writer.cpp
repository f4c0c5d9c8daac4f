// Block writing (see block_writer.h).
//
// LZ table layout: kLiteralSymbols lengths of the literal code, then
// kDistanceSymbols of the distance code and kRepeatSymbols of the
// repeat-length code. Multimedia layout: kChannelSymbols lengths per channel.
#include "encode/block_writer.h"

#include <span>

#include "encode/prefix_code.h"

namespace sfx::encode {

void WriteLzBlock(BitWriter& out, const std::vector<Token>& tokens, const LzCounts& counts, bool followed,
                  TableHistory& history) {
  LzCounts final_counts = counts;
  if (followed) ++final_counts.literal[kSymbolNewTables];
  PrefixCode literal, distance, repeat;
  BuildPrefixCode(final_counts.literal, kMaxCodeBits, literal);
  BuildPrefixCode(final_counts.distance, kMaxCodeBits, distance);
  BuildPrefixCode(final_counts.repeat, kMaxCodeBits, repeat);
  std::uint8_t lengths[kLzTableSize];
  std::copy(literal.lengths, literal.lengths + kLiteralSymbols, lengths);
  std::copy(distance.lengths, distance.lengths + kDistanceSymbols, lengths + kLiteralSymbols);
  std::copy(repeat.lengths, repeat.lengths + kRepeatSymbols, lengths + kLiteralSymbols + kDistanceSymbols);
  WriteCodeTables(out, 0, lengths, kLzTableSize, history);

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
