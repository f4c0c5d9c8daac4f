// Length, distance and short-distance code mapping (see stream_symbols.h).
// The base tables grow by 2^bits per code, so a value's code is found from
// its highest set bits.
#include "encode/stream_symbols.h"

#include <bit>

namespace sfx::encode {

namespace {

// From this distance code on, every code spans 2^16 values.
constexpr int kFirstWideDistanceCode = 36;
constexpr std::uint32_t kWideDistanceBase = kDistanceBase[kFirstWideDistanceCode];
constexpr std::uint8_t kWideDistanceBits = kDistanceBits[kFirstWideDistanceCode];
static_assert(kWideDistanceBase == 0x40000 && kWideDistanceBits == 16);

}  // namespace

LengthCode MapLengthValue(std::uint32_t value) {
  // Codes 0..7 carry their value directly; above that every group of four
  // codes doubles the span of the previous group: 8..15 (1 bit), 16..31 (2),
  // 32..63 (3), 64..127 (4), 128..255 (5).
  if (value < 8) return {static_cast<std::uint8_t>(value), 0, 0};
  const int top = std::bit_width(value) - 1;  // 3..7
  const int extra_bits = top - 2;
  const std::uint32_t group_base = 1u << top;
  const std::uint32_t step = (value - group_base) >> extra_bits;  // 0..3
  const std::uint32_t code = 8 + 4 * static_cast<std::uint32_t>(top - 3) + step;
  const std::uint32_t base = group_base + (step << extra_bits);
  return {static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(extra_bits),
          static_cast<std::uint16_t>(value - base)};
}

DistanceCode MapDistance(std::uint32_t distance) {
  const std::uint32_t value = distance - 1;
  if (value < 4) return {static_cast<std::uint8_t>(value), 0, 0};
  if (value >= kWideDistanceBase) {
    const std::uint32_t step = (value - kWideDistanceBase) >> kWideDistanceBits;
    return {static_cast<std::uint8_t>(kFirstWideDistanceCode + step), kWideDistanceBits,
            (value - kWideDistanceBase) & ((1u << kWideDistanceBits) - 1)};
  }
  // Two codes per power of two, told apart by the bit below the highest.
  const int top = std::bit_width(value) - 1;  // 2..17
  const int extra_bits = top - 1;
  const std::uint32_t half = (value >> extra_bits) & 1;
  const std::uint32_t base = (1u << top) + (half << extra_bits);
  return {static_cast<std::uint8_t>(2 * top + half), static_cast<std::uint8_t>(extra_bits), value - base};
}

ShortCode MapShortDistance(std::uint32_t distance) {
  const std::uint32_t value = distance - 1;  // 0..255
  int code = kShortCodes - 1;
  while (kShortBase[code] > value) --code;
  return {static_cast<std::uint8_t>(code), kShortBits[code], static_cast<std::uint16_t>(value - kShortBase[code])};
}

}  // namespace sfx::encode
