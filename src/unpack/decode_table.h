// Decode table of one canonical prefix code of up to 15 bits.
//
// limit[k] is the exclusive upper end of the codes of length k or shorter,
// as 16-bit left-aligned bit strings capped at 0xFFFF; first_index[k] is the
// position in `symbols` of the first symbol of length k. The quick array
// caches the decoding of every kQuickBits-bit prefix whose code length and
// symbol do not depend on the bits after it.
#pragma once

#include <cstdint>

#include "format/stream_format.h"

namespace sfx {

// Largest number of symbols of any table (the literal table).
inline constexpr int kMaxTableSymbols = kLiteralSymbols;
// Width of the direct lookup on the first peeked bits.
inline constexpr int kQuickBits = 11;
// A lookup entry is (symbol << kEntryShift) | code length: six bits for the
// length, so that a 64-bit shift by the whole entry (which uses only its low
// six bits on x86) consumes the code.
inline constexpr int kEntryShift = 6;
inline constexpr std::uint32_t kEntryLengthMask = (1u << kEntryShift) - 1;

// Decode table of one canonical prefix code, with its direct-lookup cache.
struct DecodeTable {
  std::int32_t symbol_count = 0;
  std::uint32_t limit[kMaxCodeBits + 1] = {};
  std::uint32_t first_index[kMaxCodeBits + 1] = {};
  // Coded symbols by code length, then by value. Entries past the coded
  // ones keep what an earlier build of the same table left there.
  std::uint32_t symbols[kMaxTableSymbols] = {};
  // quick[peek >> (16 - kQuickBits)]: (symbol << kEntryShift) | code length, or 0 when
  // that prefix needs the full bisection.
  std::uint16_t quick[1u << kQuickBits] = {};
};

}  // namespace sfx
