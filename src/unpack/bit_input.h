// Unscrambling reader and MSB-first bit input over an 8192-byte buffer.
//
// The stored stream is a run of little-endian 32-bit words, each XORed with
// a key of the chain in format/scramble_key.h. The plain bytes fill the input
// buffer (8192 bytes at first, then 8160 at a time behind a 32-byte
// carry-over), and the bit primitives read the buffer most significant bit
// first. Callers refill at fixed thresholds so that a peek (three bytes at
// byte_pos) always stays inside the buffer.
#pragma once

#include <cstdint>

#include "unpack/unpack_state.h"

namespace sfx {

// Unscrambles up to `count` bytes into `dst`; returns how many were
// delivered, or -1 when the stream has no bytes left.
std::int32_t ReadScrambled(UnpackState& state, std::uint8_t* dst, std::int32_t count);

// Initial fill of the empty buffer (initial = true) or an in-place refill
// with the 32-byte carry-over (initial = false; byte_pos must be >= 8160).
void FillInputBuffer(UnpackState& state, bool initial);

// The bit primitives run for every symbol, so they are inline.

// Next 16 bits, MSB first, without consuming them: three bytes from
// byte_pos (the refill thresholds keep byte_pos + 2 inside the buffer).
inline std::uint32_t PeekBits(const UnpackState& state) {
  const std::uint8_t* p = state.input_buffer + state.byte_pos;
  const std::uint32_t v = (static_cast<std::uint32_t>(p[0]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[2];
  return (v >> (8 - state.bit_pos)) & 0xFFFFu;
}

// Consumes n bits, 0 <= n <= 16.
inline void SkipBits(UnpackState& state, std::uint32_t n) {
  state.bit_pos += n;
  state.byte_pos += static_cast<std::int32_t>(state.bit_pos / 8);
  state.bit_pos %= 8;
}

// Reads n bits, 1 <= n <= 16.
inline std::uint32_t ReadBits(UnpackState& state, std::uint32_t n) {
  const std::uint32_t value = PeekBits(state) >> (16 - n);
  SkipBits(state, n);
  return value;
}

// True once the decoder has consumed bits past the last plain byte that the
// stream delivered; a complete stream never does.
inline bool InputOverrun(const UnpackState& state) {
  return state.byte_pos * 8 + static_cast<std::int32_t>(state.bit_pos) > state.input_end * 8;
}

}  // namespace sfx
