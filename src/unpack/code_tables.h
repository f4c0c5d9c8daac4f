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

#include "unpack/bit_input.h"
#include "unpack/decode_table.h"
#include "unpack/unpack_state.h"

namespace sfx {

// Builds `table` from `count` code lengths (0 to 15, 0 = no code; 1 <= count
// <= kMaxTableSymbols).
void BuildDecodeTable(const std::uint8_t* lengths, DecodeTable& table, int count);

// The decoding of a peek that has no quick entry (the limit bisection), in
// the form of a quick entry: (symbol << kEntryShift) | code length.
std::uint32_t SlowTableEntry(const DecodeTable& table, std::uint32_t peek);

// Decodes the next symbol with `table` and consumes its code bits, on the
// decoder state or the LZ loop's local input position (see PeekBits).
// Inline because it runs once or twice per decoded byte.
template <class Input>
inline std::uint32_t DecodeSymbol(Input& in, const DecodeTable& table) {
  const std::uint32_t peek = PeekBits(in);
  std::uint32_t entry = table.quick[peek >> (16 - kQuickBits)];
  if (entry == 0) entry = SlowTableEntry(table, peek);
  SkipBits(in, entry & kEntryLengthMask);
  return entry >> kEntryShift;
}

// Reads a block header and its code lengths and rebuilds the tables of the
// block's kind (LZ or multimedia).
void ReadCodeTables(UnpackState& state);

}  // namespace sfx
