// Compress with the encoder, then decode with the project's decoder: the
// check that every encoder test ends in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "encode/encoder.h"
#include "encode/stream_encoder.h"
#include "support/decode_stream.h"

namespace sfx::test {

// Compresses `data` at `level`, decodes it and expects the same bytes back.
// Returns the plain stream's size.
inline std::size_t ExpectRoundTrip(const Bytes& data, int level, bool multimedia = true,
                                   encode::EncodeStats* stats = nullptr) {
  EncodeOptions options;
  options.level = level;
  options.allow_multimedia = multimedia;
  const Bytes stream = encode::CompressStreamWithStats(data.data(), data.size(), options, stats);
  const DecodeResult decoded = DecodePlain(stream, data.size());
  EXPECT_TRUE(decoded.status);
  EXPECT_TRUE(decoded.output == data) << "level " << level << ", " << data.size() << " bytes";
  if (decoded.output != data) {
    std::size_t i = 0;
    while (i < data.size() && decoded.output[i] == data[i]) ++i;
    ADD_FAILURE() << "first difference at byte " << i;
  }
  return stream.size();
}

}  // namespace sfx::test
