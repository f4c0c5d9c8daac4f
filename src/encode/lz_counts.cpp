// Token to symbol mapping and symbol statistics (see lz_counts.h).
//
// A long match sends kSymbolFirstLong + length code, the length's extra
// bits, a distance symbol and the distance's extra bits; a recent-distance
// match sends kSymbolFirstRecent + slot, a repeat-code symbol and its extra
// bits; a two-byte match sends kSymbolFirstShort + short code and the
// distance's extra bits.
#include "encode/lz_counts.h"

#include <cmath>

namespace sfx::encode {

TokenSymbols MapToken(const Token& token) {
  TokenSymbols s{};
  switch (token.kind) {
    case TokenKind::kLiteral:
      s.literal_symbol = token.value;
      break;
    case TokenKind::kRepeatPrevious:
      s.literal_symbol = kSymbolRepeatPrevious;
      break;
    case TokenKind::kRecent: {
      const LengthCode lc = MapLengthValue(token.length - kRecentMatchBase - RecentLengthBonus(token.distance));
      s.literal_symbol = static_cast<std::uint16_t>(kSymbolFirstRecent + token.value);
      s.second_symbol = lc.code;
      s.second_extra_bits = lc.extra_bits;
      s.second_extra = lc.extra;
      break;
    }
    case TokenKind::kShort: {
      const ShortCode sc = MapShortDistance(token.distance);
      s.literal_symbol = static_cast<std::uint16_t>(kSymbolFirstShort + sc.code);
      s.first_extra_bits = sc.extra_bits;
      s.first_extra = sc.extra;
      break;
    }
    case TokenKind::kLong: {
      const LengthCode lc = MapLengthValue(token.length - kLongMatchBase - LongLengthBonus(token.distance));
      const DistanceCode dc = MapDistance(token.distance);
      s.literal_symbol = static_cast<std::uint16_t>(kSymbolFirstLong + lc.code);
      s.first_extra_bits = lc.extra_bits;
      s.first_extra = lc.extra;
      s.second_symbol = dc.code;
      s.second_is_distance = true;
      s.second_extra_bits = dc.extra_bits;
      s.second_extra = dc.extra;
      break;
    }
  }
  return s;
}

void LzCounts::Add(const Token& token) {
  if (token.kind == TokenKind::kLiteral) {
    ++literal[token.value];
    return;
  }
  const TokenSymbols s = MapToken(token);
  ++literal[s.literal_symbol];
  if (s.second_symbol >= 0) {
    if (s.second_is_distance) {
      ++distance[s.second_symbol];
    } else {
      ++repeat[s.second_symbol];
    }
  }
  extra_bits += s.first_extra_bits + s.second_extra_bits;
}

void LzCounts::Add(const LzCounts& other) {
  for (int i = 0; i < kLiteralSymbols; ++i) literal[i] += other.literal[i];
  for (int i = 0; i < kDistanceSymbols; ++i) distance[i] += other.distance[i];
  for (int i = 0; i < kRepeatSymbols; ++i) repeat[i] += other.repeat[i];
  extra_bits += other.extra_bits;
}

double EntropyBits(std::span<const std::uint32_t> counts) {
  double total = 0;
  double sum = 0;
  for (std::uint32_t c : counts) {
    if (c == 0) continue;
    total += c;
    sum += c * std::log2(static_cast<double>(c));
  }
  return total == 0 ? 0.0 : total * std::log2(total) - sum;
}

double LzCounts::EstimateBits() const {
  return EntropyBits(literal) + EntropyBits(distance) + EntropyBits(repeat) + static_cast<double>(extra_bits);
}

}  // namespace sfx::encode
