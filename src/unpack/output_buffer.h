// A memory hint for a decoder's output buffer, for hosts that hold a whole
// image in memory (sfxpack); the stub does not use it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sfx {

// Asks the system to back a large, not yet touched output buffer with huge
// pages where it can (Linux: madvise MADV_HUGEPAGE); a decoder's output is
// written once in order, and first touches of 4 KiB pages cost more than the
// decode of multimedia data. Call it before anything writes the buffer. No
// effect elsewhere, for small buffers, or when the system declines.
void AdviseOutputBuffer(std::uint8_t* start, std::size_t size);

}  // namespace sfx
