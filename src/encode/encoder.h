// Encoder for the payload stream format that unpack/ decodes: LZ77 over a
// 1 MiB window with canonical prefix codes (at most 15 bits), the recent-
// distance and short-match forms, and multimedia delta blocks of 1 to 4
// channels; plus the scrambling of the finished stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace sfx {

struct EncodeOptions {
  // 1 (fastest) to 9 (smallest). 6 is the default.
  int level = 6;
  // Let the encoder choose multimedia blocks where they are smaller.
  bool allow_multimedia = true;
  // Worker threads for the levels that parse in segments (7 to 9); the
  // output is the same for every count.
  unsigned threads = 1;
  // Called now and then with input bytes consumed so far and the total.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

// Compresses `size` bytes into a plain (not yet scrambled) stream that a
// conforming decoder turns back into exactly these bytes when asked for
// `size` output bytes. Never emits a match past the end of the data.
std::vector<std::uint8_t> CompressStream(const std::uint8_t* data, std::size_t size, const EncodeOptions& options);

// Scrambles a plain stream in place with the key chain of
// format/scramble_key.h, the first key being `seed` (kPayloadSeed for a
// payload).
void ScrambleStream(std::uint8_t* stream, std::size_t size, std::uint32_t seed);

// The inverse of ScrambleStream (for tools and tests).
void UnscrambleStream(std::uint8_t* stream, std::size_t size, std::uint32_t seed);

}  // namespace sfx
