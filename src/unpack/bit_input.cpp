// Unscrambling reader and MSB-first bit input.
//
// ReadScrambled works on whole stored words: plain = stored ^ key, next
// key = NextScrambleKey(stored). A request that runs past the stream's end
// is shortened to the bytes that remain; if that leaves a final partial word, only its
// available stored bytes are read (the first k plain bytes of a word depend
// only on its first k stored bytes), and the bytes it does not deliver are
// counted in pending_bytes. The buffer is filled with 8192 bytes at first and
// then refilled in place: the 32 bytes at 8160..8191 move to 0..31 and 8160
// new bytes follow, so byte_pos keeps naming the same byte after subtracting
// 8160 (callers refill only while byte_pos lies in 8160..8191).
#include "unpack/bit_input.h"

#include <cstring>

#include "common/byte_order.h"
#include "format/scramble_key.h"
#include "unpack/unpack_state.h"

namespace sfx {

std::int32_t ReadScrambled(UnpackState& state, std::uint8_t* dst, std::int32_t count) {
  // Compared as a byte count rather than by forming stream_cursor + count,
  // which could point past the end of the stored block.
  const std::int64_t remaining = state.stream_end - state.stream_cursor;
  if (count > remaining) count = static_cast<std::int32_t>(remaining);
  if (count <= 0) return -1;

  const std::int32_t whole_words = count / 4;
  const std::int32_t tail = count % 4;
  const std::uint8_t* src = state.stream_cursor;
  std::uint32_t key = state.scramble_key;
  for (std::int32_t i = 0; i < whole_words; ++i) {
    const std::uint32_t stored = LoadLE32(src);
    StoreLE32(dst, stored ^ key);
    key = NextScrambleKey(stored);
    src += 4;
    dst += 4;
  }
  if (tail != 0) {
    // Final partial word: only its `tail` stored bytes exist. The missing
    // high bytes are taken as zero; they affect neither the delivered bytes
    // nor anything later, since every later request returns -1.
    std::uint32_t stored = 0;
    for (std::int32_t i = 0; i < tail; ++i) stored |= static_cast<std::uint32_t>(src[i]) << (8 * i);
    const std::uint32_t plain = stored ^ key;
    for (std::int32_t i = 0; i < tail; ++i) dst[i] = static_cast<std::uint8_t>(plain >> (8 * i));
    key = NextScrambleKey(stored);
    state.pending_bytes = 4 - tail;
    src += tail;  // the word is used up; the cursor stops at the end
  }
  state.stream_cursor = src;
  state.scramble_key = key;
  return count;
}

void FillInputBuffer(UnpackState& state, bool initial) {
  if (initial) {
    const std::int32_t n = ReadScrambled(state, state.input_buffer, kInputBufferSize);
    state.byte_pos = 0;
    state.fill_level = n;
    state.input_end = n > 0 ? n : 0;
    return;
  }
  std::memmove(state.input_buffer, state.input_buffer + kInputRefillSize, kInputCarryOver);
  state.byte_pos %= kInputCarryOver;
  // New bytes follow the old ones only after a full read, and a short read
  // ends the stream, so the delivered span stays contiguous.
  state.input_end -= kInputRefillSize;
  const std::int32_t n = ReadScrambled(state, state.input_buffer + kInputCarryOver, kInputRefillSize);
  if (n > 0) state.input_end += n;
  state.fill_level = n > 0 ? n + kInputCarryOver : state.byte_pos;
}

}  // namespace sfx
