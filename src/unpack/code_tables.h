// Canonical prefix codes of up to 15 bits: decode tables built from code
// lengths, symbol decoding, and the reading of a block's code lengths.
//
// A table keeps, for every code length k, the exclusive upper end `limit[k]`
// of the codes of length k or shorter as 16-bit left-aligned bit strings
// (capped at 0xFFFF), and the position `first_index[k]` in `symbols` of the
// first symbol of that length. Decoding finds the code length by comparing
// the next 16 bits (lowest bit masked off) with the limits in a fixed
// four-level bisection and computes the symbol's position from the offset
// into its length's range. A direct lookup on the first kQuickBits bits
// short-cuts this where it provably gives the same result.
#pragma once

#include <cstdint>

namespace sfx {

struct UnpackState;

// Largest number of symbols of any table (the literal table).
inline constexpr int kMaxTableSymbols = 298;
// Width of the direct lookup on the first peeked bits.
inline constexpr int kQuickBits = 10;

// Decode table of one canonical prefix code, with its direct-lookup cache.
struct DecodeTable {
  std::int32_t symbol_count = 0;
  std::uint32_t limit[16] = {};
  std::uint32_t first_index[16] = {};
  // Coded symbols by code length, then by value. Entries past the coded
  // ones keep what an earlier build of the same table left there.
  std::uint32_t symbols[kMaxTableSymbols] = {};
  // quick[peek >> (16 - kQuickBits)]: (symbol << 4) | code length, or 0 when
  // that prefix needs the full bisection.
  std::uint16_t quick[1u << kQuickBits] = {};
};

// Builds `table` from `count` code lengths (0 to 15, 0 = no code; 1 <= count
// <= kMaxTableSymbols).
void BuildDecodeTable(const std::uint8_t* lengths, DecodeTable& table, int count);

// Code length that the limit bisection gives for a masked 16-bit peek.
std::uint32_t CodeLengthOf(const DecodeTable& table, std::uint32_t masked_peek);

// Position in `symbols` for a masked peek and its code length, before the
// out-of-range rule is applied.
std::uint32_t SymbolIndexOf(const DecodeTable& table, std::uint32_t masked_peek, std::uint32_t length);

// Decodes the next symbol with `table` and consumes its code bits.
std::uint32_t DecodeSymbol(UnpackState& state, const DecodeTable& table);

// Reads a block header and its code lengths and rebuilds the tables of the
// block's kind (LZ or multimedia).
void ReadCodeTables(UnpackState& state);

}  // namespace sfx
