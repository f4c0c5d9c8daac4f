// Scrambling of setup configuration files, the inverse of the reader's
// unscrambling (config_reader.h).
//
// The scrambled form is one marker byte outside 0x20..0x7E followed by the
// plain text, where the byte at file position i (i >= 1) is the plain byte
// XOR ((k0 + 15 * i) mod 256) and k0 = marker XOR 0x20. The marker reads back
// as a single space in front of the text, which the tokenizer skips.
#pragma once

#include <cstdint>
#include <string>

namespace sfx {

// The marker byte used when the caller does not choose one.
inline constexpr std::uint8_t kDefaultScrambleMarker = 0xA7;

// Whether `marker` makes the reader treat a file as scrambled.
bool IsScrambleMarker(std::uint8_t marker);

// Returns the scrambled form of `plain`. `marker` must satisfy
// IsScrambleMarker; otherwise std::invalid_argument is thrown.
std::string ScrambleConfig(const std::string& plain, std::uint8_t marker = kDefaultScrambleMarker);

}  // namespace sfx
