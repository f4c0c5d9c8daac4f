// Test-only helpers that store a plain stream as the installer carries it
// and decode it through a public entry: UnpackPayload (the window decoder)
// unless told, or UnpackImage.
//
// The stored form comes from stored_stream.h, so that the decoder's tests
// need no encoder. DecodeStored gives the
// decoder exact-size copies of the stream and of the output buffer, so that
// any access past either end is caught by the address sanitizer in the
// sanitizer build.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "support/stored_stream.h"
#include "unpack/unpack.h"

namespace sfx::test {

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
