// Test-only helpers that store a plain stream as the installer carries it
// and decode it through a public entry: UnpackPayload (the window decoder)
// unless told, or UnpackImage.
//
// Scramble is written here independently of the encoder's ScrambleStream,
// so that the decoder's tests need no encoder. DecodeStored gives the
// decoder exact-size copies of the stream and of the output buffer, so that
// any access past either end is caught by the address sanitizer in the
// sanitizer build.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "common/byte_order.h"
#include "format/scramble_key.h"
#include "unpack/unpack.h"

namespace sfx::test {

using Bytes = std::vector<std::uint8_t>;

// Stores a plain stream the way the installer carries it: little-endian
// words XORed with a key chain that starts at the payload seed; a final
// partial word is scrambled with the low bytes of its key.
inline Bytes Scramble(const Bytes& plain, std::uint32_t key = kPayloadSeed) {
  Bytes stored(plain.size());
  for (std::size_t i = 0; i < plain.size(); i += 4) {
    std::uint8_t word[4] = {};
    const std::size_t n = plain.size() - i < 4 ? plain.size() - i : 4;
    for (std::size_t j = 0; j < n; ++j) word[j] = plain[i + j];
    const std::uint32_t s = LoadLE32(word) ^ key;
    key = NextScrambleKey(s);
    StoreLE32(word, s);
    for (std::size_t j = 0; j < n; ++j) stored[i + j] = word[j];
  }
  return stored;
}

// Result of one decode through a public entry.
struct DecodeResult {
  bool status = false;  // what the entry returned
  Bytes output;
  std::vector<std::uint32_t> reports;  // every progress report, in order
};

inline void RecordProgress(void* context, std::uint32_t bytes) {
  static_cast<std::vector<std::uint32_t>*>(context)->push_back(bytes);
}

// UnpackPayload or UnpackImage.
using DecodeEntry = bool (*)(UnpackState&, const std::uint8_t*, const std::uint8_t*, std::uint8_t*, std::uint8_t*);

// Decodes a stored stream with `entry` into a buffer of `out_size` bytes,
// pre-filled with `fill` so that bytes the decoder never wrote are visible.
inline DecodeResult DecodeStoredWith(DecodeEntry entry, const Bytes& stored, std::size_t out_size,
                                     std::uint8_t fill = 0xEE) {
  DecodeResult result;
  result.output.assign(out_size, fill);
  auto state = NewUnpackState();
  if (!state) throw std::runtime_error("no memory for the decoder state");
  SetProgressSink(*state, RecordProgress, &result.reports);
  std::vector<std::uint8_t> stream(stored);
  result.status = entry(*state, stream.data(), stream.data() + stream.size(), result.output.data(),
                        result.output.data() + result.output.size());
  return result;
}

// Decodes a stored stream through the window decoder.
inline DecodeResult DecodeStored(const Bytes& stored, std::size_t out_size, std::uint8_t fill = 0xEE) {
  return DecodeStoredWith(UnpackPayload, stored, out_size, fill);
}

// Scrambles a plain stream and decodes it.
inline DecodeResult DecodePlain(const Bytes& plain, std::size_t out_size, std::uint8_t fill = 0xEE) {
  return DecodeStored(Scramble(plain), out_size, fill);
}

}  // namespace sfx::test
