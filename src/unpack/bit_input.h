// Unscrambling reader and MSB-first bit input over an 8192-byte buffer.
//
// The stored stream is a run of little-endian 32-bit words, each XORed with
// a key of the chain in format/scramble_key.h. The plain bytes fill the input
// buffer (8192 bytes at first, then 8160 at a time behind a 32-byte
// carry-over), and the bit primitives read the buffer most significant bit
// first. Callers refill at fixed thresholds so that the 16 bits of a peek
// (three bytes from byte_pos) always lie inside the buffer.
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

// The bit primitives run for every symbol, so they are inline. They read
// any record with the input position fields input_buffer, byte_pos and
// bit_pos: the decoder state itself, or the LZ loop's copy of those fields
// in locals (LzRun in lz_decoder.cpp), so that every bit of the stream is
// read by this one set of primitives.

// Next 16 bits, MSB first, without consuming them: one big-endian 32-bit
// load at byte_pos, shifted by bit_pos (0..7), so the fourth byte never
// shows. The refill thresholds keep byte_pos + 2 inside the buffer; the
// fourth byte may be the kInputPeekSlack byte behind it.
template <class Input>
inline std::uint32_t PeekBits(const Input& in) {
  const std::uint8_t* p = in.input_buffer + in.byte_pos;
  const std::uint32_t v = (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
                          (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
  return (v << in.bit_pos) >> 16;
}

// Consumes n bits, 0 <= n <= 16.
template <class Input>
inline void SkipBits(Input& in, std::uint32_t n) {
  in.bit_pos += n;
  in.byte_pos += static_cast<std::int32_t>(in.bit_pos >> 3);
  in.bit_pos &= 7;
}

// Reads n bits, 0 <= n <= 16 (0 bits read as 0).
template <class Input>
inline std::uint32_t ReadBits(Input& in, std::uint32_t n) {
  const std::uint32_t value = PeekBits(in) >> (16 - n);
  SkipBits(in, n);
  return value;
}

// The extra bits of a length or distance code: ReadBits without the peek
// when the code has none.
template <class Input>
inline std::uint32_t ReadExtraBits(Input& in, std::uint32_t n) {
  return n != 0 ? ReadBits(in, n) : 0;
}

// True once the decoder has consumed bits past the last plain byte that the
// stream delivered; a complete stream never does.
inline bool InputOverrun(const UnpackState& state) {
  return state.byte_pos * 8 + static_cast<std::int32_t>(state.bit_pos) > state.input_end * 8;
}

}  // namespace sfx
