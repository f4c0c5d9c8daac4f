// The mapping of match lengths and distances onto the codes and extra bits
// of the stream format (format/stream_format.h), and the lengths that each
// match form can express.
#pragma once

#include <cstdint>

#include "format/stream_format.h"

namespace sfx::encode {

// Codes 0..27 of the length alphabet: a length value 0..255 above the base.
struct LengthCode {
  std::uint8_t code;
  std::uint8_t extra_bits;
  std::uint16_t extra;  // value of the extra bits
};

// Codes 0..47 of the distance alphabet for distances 1..kMaxDistance.
struct DistanceCode {
  std::uint8_t code;
  std::uint8_t extra_bits;
  std::uint32_t extra;
};

// Codes 0..7 of the two-byte match alphabet for distances 1..kMaxShortDistance.
struct ShortCode {
  std::uint8_t code;
  std::uint8_t extra_bits;
  std::uint16_t extra;
};

// value: 0..kMaxLengthValue, the length less its base (kLongMatchBase or
// kRecentMatchBase) and less the bonus that the distance brings.
LengthCode MapLengthValue(std::uint32_t value);
DistanceCode MapDistance(std::uint32_t distance);
ShortCode MapShortDistance(std::uint32_t distance);

// Shortest and longest lengths that each match form can express.
inline std::uint32_t MinLongLength(std::uint32_t distance) { return kLongMatchBase + LongLengthBonus(distance); }
inline std::uint32_t MaxLongLength(std::uint32_t distance) {
  return kLongMatchBase + kMaxLengthValue + LongLengthBonus(distance);
}
inline std::uint32_t MinRecentLength(std::uint32_t distance) { return kRecentMatchBase + RecentLengthBonus(distance); }
inline std::uint32_t MaxRecentLength(std::uint32_t distance) {
  return kRecentMatchBase + kMaxLengthValue + RecentLengthBonus(distance);
}

// Longest match the parsers produce; every form can carry it at any distance
// where it is allowed at all.
inline constexpr std::uint32_t kMaxMatch = 257;

}  // namespace sfx::encode
