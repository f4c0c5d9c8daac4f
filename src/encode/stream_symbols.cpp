// Length, distance and short-distance code mapping (see stream_symbols.h).
// The base tables grow by 2^bits per code, so a value's code is found from
// its highest set bits.
#include "encode/stream_symbols.h"

#include <bit>

namespace sfx::encode {

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
  if (value >= 0x40000) {
    // Codes 36..47 step by 65536 with 16 extra bits each.
    const std::uint32_t step = (value - 0x40000) >> 16;
    return {static_cast<std::uint8_t>(36 + step), 16, (value - 0x40000) & 0xFFFF};
  }
  // Two codes per power of two, told apart by the bit below the highest.
  const int top = std::bit_width(value) - 1;  // 2..17
  const int extra_bits = top - 1;
  const std::uint32_t half = (value >> extra_bits) & 1;
  const std::uint32_t base = (1u << top) + (half << extra_bits);
  return {static_cast<std::uint8_t>(2 * top + half), static_cast<std::uint8_t>(extra_bits), value - base};
}

ShortCode MapShortDistance(std::uint32_t distance) {
  static constexpr std::uint16_t kBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
  static constexpr std::uint8_t kBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
  const std::uint32_t value = distance - 1;  // 0..255
  int code = 7;
  while (kBase[code] > value) --code;
  return {static_cast<std::uint8_t>(code), kBits[code], static_cast<std::uint16_t>(value - kBase[code])};
}

}  // namespace sfx::encode
