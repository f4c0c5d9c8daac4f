// Compress, scramble with the payload seed, and decode with the project's
// decoder: the check that every encoder test ends in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "encode/encoder.h"
#include "encode/stream_encoder.h"
#include "format/scramble_key.h"
#include "unpack/unpack.h"

namespace sfx::encode::testing {

// Decodes a plain (unscrambled) stream into `size` bytes.
inline std::vector<std::uint8_t> DecodePlain(std::vector<std::uint8_t> stream, std::size_t size) {
  ScrambleStream(stream.data(), stream.size(), kPayloadSeed);
  UnpackStatePtr state = NewUnpackState();
  EXPECT_NE(state, nullptr);
  // One spare byte after the output catches a decoder asked to write more.
  std::vector<std::uint8_t> out(size + 1, 0xA7);
  EXPECT_TRUE(UnpackPayload(*state, stream.data(), stream.data() + stream.size(), out.data(), out.data() + size));
  EXPECT_EQ(out[size], 0xA7);
  out.resize(size);
  return out;
}

// Compresses `data` at `level`, decodes it and expects the same bytes back.
// Returns the plain stream's size.
inline std::size_t ExpectRoundTrip(const std::vector<std::uint8_t>& data, int level, bool multimedia = true, EncodeStats* stats = nullptr) {
  EncodeOptions options;
  options.level = level;
  options.allow_multimedia = multimedia;
  const std::vector<std::uint8_t> stream = CompressStreamWithStats(data.data(), data.size(), options, stats);
  const std::vector<std::uint8_t> decoded = DecodePlain(stream, data.size());
  EXPECT_TRUE(decoded == data) << "level " << level << ", " << data.size() << " bytes";
  if (decoded != data) {
    std::size_t i = 0;
    while (i < data.size() && decoded[i] == data[i]) ++i;
    ADD_FAILURE() << "first difference at byte " << i;
  }
  return stream.size();
}

}  // namespace sfx::encode::testing
