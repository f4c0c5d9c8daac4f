// The key chain of the stored stream, and the payload seed it starts from.
//
// The stored stream is a run of little-endian 32-bit words; each plain word
// is the stored word XOR a key. The first key is kPayloadSeed, and each next
// key is NextScrambleKey of the stored word before it, so the chain follows
// the stored words. A final partial word pairs its byte i with bits
// 8i..8i+7 of its key.
#pragma once

#include <cstdint>

namespace sfx {

// The stub's 32-bit payload seed: the first key of the stored stream, and
// also the initial register of every image CRC (payload/crc32.h).
inline constexpr std::uint32_t kPayloadSeed = 0x5A3C9E17u;

inline constexpr std::uint32_t kScrambleKeyStep = 0x2E69u;

// The key of the word after the stored word `stored`.
constexpr std::uint32_t NextScrambleKey(std::uint32_t stored) { return stored + kScrambleKeyStep; }

}  // namespace sfx
