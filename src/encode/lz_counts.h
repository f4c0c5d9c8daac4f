// Symbol counts of an LZ parse, per alphabet, and the mapping of tokens onto
// symbols and extra bits that both counting and writing use.
#pragma once

#include <cstdint>
#include <span>

#include "encode/lz_token.h"
#include "encode/stream_symbols.h"

namespace sfx::encode {

// The symbols and extra bits that send one token.
struct TokenSymbols {
  std::uint16_t literal_symbol;
  std::int16_t second_symbol = -1;  // distance or repeat-code symbol, -1 if none
  bool second_is_distance = false;
  std::uint8_t first_extra_bits = 0;   // after the literal-code symbol
  std::uint8_t second_extra_bits = 0;  // after the second symbol
  std::uint32_t first_extra = 0;
  std::uint32_t second_extra = 0;
};

TokenSymbols MapToken(const Token& token);

// Counts of the literal, distance and repeat alphabets plus extra bits.
struct LzCounts {
  std::uint32_t literal[kLiteralSymbols] = {};
  std::uint32_t distance[kDistanceSymbols] = {};
  std::uint32_t repeat[kRepeatSymbols] = {};
  std::uint64_t extra_bits = 0;

  void Add(const Token& token);
  void Add(const LzCounts& other);
  // Estimated coded size in bits of these symbols (entropy plus extra bits).
  double EstimateBits() const;
};

// Σ count × log2(total / count) over an alphabet: its order-0 entropy size.
double EntropyBits(std::span<const std::uint32_t> counts);

}  // namespace sfx::encode
