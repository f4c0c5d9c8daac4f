// Symbol alphabet of the compressed stream and the mapping of match lengths
// and distances onto codes plus extra bits.
//
// The literal code has 298 symbols: bytes 0..255, 256 = repeat the previous
// match, 257..260 = match at one of the four most recent distances (length
// from the 28-symbol repeat code), 261..268 = two-byte match at distance
// 1..256, 269 = new code tables, 270..297 = match with a length code and a
// distance code (48 symbols). A length code c stands for base[c] plus
// bits[c] extra bits; a distance code likewise. Long matches get one byte
// added by the decoder at distance >= 0x2000 and one more at >= 0x40000;
// recent-distance matches get one byte at >= 0x101, >= 0x2000 and >= 0x40000.
#pragma once

#include <cstdint>

namespace sfx::encode {

inline constexpr int kLiteralSymbols = 298;
inline constexpr int kDistanceSymbols = 48;
inline constexpr int kRepeatSymbols = 28;
inline constexpr int kChannelSymbols = 257;
inline constexpr int kLzTableSize = kLiteralSymbols + kDistanceSymbols + kRepeatSymbols;  // 374
inline constexpr int kMaxTableSize = 4 * kChannelSymbols;                                 // 1028
inline constexpr int kMaxCodeBits = 15;

inline constexpr int kSymRepeatPrevious = 256;
inline constexpr int kSymRecentFirst = 257;
inline constexpr int kSymShortFirst = 261;
inline constexpr int kSymNewTables = 269;
inline constexpr int kSymLongFirst = 270;
inline constexpr int kSymChannelNewTables = 256;

inline constexpr std::uint32_t kWindowSize = 0x100000;
inline constexpr std::uint32_t kMaxDistance = 0x100000;
inline constexpr std::uint32_t kMaxShortDistance = 256;

// Codes 0..27 of the length alphabet: a length value 0..255 above the base.
struct LengthCode {
  std::uint8_t code;
  std::uint8_t extra_bits;
  std::uint16_t extra;  // value of the extra bits
};

// Codes 0..47 of the distance alphabet for distances 1..0x100000.
struct DistanceCode {
  std::uint8_t code;
  std::uint8_t extra_bits;
  std::uint32_t extra;
};

// Codes 0..7 of the two-byte match alphabet for distances 1..256.
struct ShortCode {
  std::uint8_t code;
  std::uint8_t extra_bits;
  std::uint16_t extra;
};

// value: 0..255, the length less its base (3 for long, 2 for recent matches)
// and less the decoder's distance adjustments.
LengthCode MapLengthValue(std::uint32_t value);
DistanceCode MapDistance(std::uint32_t distance);
ShortCode MapShortDistance(std::uint32_t distance);

// Bytes the decoder adds to a long match's length at this distance.
inline std::uint32_t LongLengthBonus(std::uint32_t distance) {
  return (distance >= 0x2000 ? 1u : 0u) + (distance >= 0x40000 ? 1u : 0u);
}

// Bytes the decoder adds to a recent-distance match's length at this distance.
inline std::uint32_t RecentLengthBonus(std::uint32_t distance) {
  return (distance >= 0x101 ? 1u : 0u) + LongLengthBonus(distance);
}

// Shortest and longest lengths that each match form can express.
inline std::uint32_t MinLongLength(std::uint32_t distance) { return 3 + LongLengthBonus(distance); }
inline std::uint32_t MaxLongLength(std::uint32_t distance) { return 258 + LongLengthBonus(distance); }
inline std::uint32_t MinRecentLength(std::uint32_t distance) { return 2 + RecentLengthBonus(distance); }
inline std::uint32_t MaxRecentLength(std::uint32_t distance) { return 257 + RecentLengthBonus(distance); }

// Longest match the parsers produce; every form can carry it at any distance
// where it is allowed at all.
inline constexpr std::uint32_t kMaxMatch = 257;

}  // namespace sfx::encode
