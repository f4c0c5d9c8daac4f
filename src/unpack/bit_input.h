// Unscrambling reader and MSB-first bit input over an 8192-byte buffer.
//
// The stored stream is a run of little-endian 32-bit words; each plain word
// is the stored word XOR a key, and the next key is the stored word plus
// 0x2E69. The first key is the payload seed. The plain bytes fill the input
// buffer (8192 bytes at first, then 8160 at a time behind a 32-byte
// carry-over), and the bit primitives read the buffer most significant bit
// first. Callers refill at fixed thresholds so that a peek (three bytes at
// byte_pos) always stays inside the buffer.
#pragma once

#include <cstdint>

namespace sfx {

struct UnpackState;

inline constexpr int kInputBufferSize = 8192;
inline constexpr int kInputCarryOver = 32;
inline constexpr int kInputRefillSize = kInputBufferSize - kInputCarryOver;  // 8160
inline constexpr std::uint32_t kScrambleKeyStep = 0x2E69u;

// Unscrambles up to `count` bytes into `dst`; returns how many were
// delivered, or -1 when the stream has no bytes left.
std::int32_t ReadScrambled(UnpackState& state, std::uint8_t* dst, std::int32_t count);

// Initial fill of the empty buffer (initial = true) or an in-place refill
// with the 32-byte carry-over (initial = false; byte_pos must be >= 8160).
void FillInputBuffer(UnpackState& state, bool initial);

// Next 16 bits, MSB first, without consuming them.
std::uint32_t PeekBits(const UnpackState& state);

// Consumes n bits, 0 <= n <= 16.
void SkipBits(UnpackState& state, std::uint32_t n);

// Reads n bits, 1 <= n <= 16.
std::uint32_t ReadBits(UnpackState& state, std::uint32_t n);

// True once the decoder has consumed bits past the last plain byte that the
// stream delivered; a complete stream never does.
bool InputOverrun(const UnpackState& state);

}  // namespace sfx
