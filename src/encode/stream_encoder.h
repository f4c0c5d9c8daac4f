// CompressStream with a report of how the stream was built, for tests and
// benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encode/encoder.h"
#include "format/stream_format.h"

namespace sfx::encode {

// Block counts of one compressed stream.
struct EncodeStats {
  std::uint32_t blocks[kMaxChannels + 1] = {};  // [0] LZ blocks, [c] multimedia blocks of c channels
  std::uint32_t tables_kept = 0;                // tables sent as differences from the previous ones
};

// CompressStream that also fills `stats` (may be null). Throws
// std::length_error for inputs the format cannot carry (2 GiB and more).
std::vector<std::uint8_t> CompressStreamWithStats(const std::uint8_t* data, std::size_t size,
                                                  const EncodeOptions& options, EncodeStats* stats);

}  // namespace sfx::encode
