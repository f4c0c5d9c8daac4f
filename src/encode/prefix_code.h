// Canonical prefix codes: length-limited code lengths from symbol counts and
// the canonical code words for a set of lengths.
//
// The decoder assigns code words in order of length and, within one length,
// of symbol value, starting at all zeros; it decodes any code whose lengths
// satisfy the Kraft inequality, but a complete code (Kraft sum exactly 1) is
// the only kind every decoder reads the same way, so the builder always
// produces one: unused or single-symbol alphabets get two one-bit codes.
#pragma once

#include <cstdint>
#include <span>

#include "format/stream_format.h"

namespace sfx::encode {

// Code lengths and code words of one alphabet.
struct PrefixCode {
  std::uint8_t lengths[kMaxTableSize] = {};
  std::uint16_t codes[kMaxTableSize] = {};
  int size = 0;
};

// Fills lengths[0..counts.size()) with the lengths of a complete prefix code
// of at most `max_bits` bits (1..15) that is optimal or close to optimal for
// the counts. Symbols with count 0 get length 0, except that a code always
// has at least two symbols (when fewer are used, the lowest unused symbols
// are added with length 1). counts.size() must be at least 2.
void BuildCodeLengths(std::span<const std::uint32_t> counts, int max_bits, std::uint8_t* lengths);

// Canonical code words for the lengths (0 = no code).
void AssignCanonicalCodes(const std::uint8_t* lengths, int size, std::uint16_t* codes);

// BuildCodeLengths + AssignCanonicalCodes into `code` (size = counts.size()).
void BuildPrefixCode(std::span<const std::uint32_t> counts, int max_bits, PrefixCode& code);

}  // namespace sfx::encode
