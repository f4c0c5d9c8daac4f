// Writes the header of a block and its code lengths in the code-length code
// (format/stream_format.h): the header, the lengths of the code-length code,
// then the block's code lengths as lengths, differences from the previous
// read's lengths ("keep"), or runs.
#pragma once

#include <cstdint>

#include "encode/bit_writer.h"
#include "format/stream_format.h"

namespace sfx::encode {

// The code lengths the decoder remembers from its last table read. Entries at
// or past `size` are whatever that decoder chose, so they are never used.
struct TableHistory {
  std::uint8_t lengths[kMaxTableSize] = {};
  int size = 0;                  // table size of the last read; 0 before the first
  std::uint32_t reads = 0;       // statistics: tables written
  std::uint32_t kept_reads = 0;  // statistics: of those, in kept form
};

// Writes a block header for an LZ block (channels = 0) or a multimedia block
// of 1..4 channels, followed by `size` code lengths (kLzTableSize for LZ,
// kChannelSymbols per channel), choosing absolute or kept lengths by size,
// and records the read in `history`.
void WriteCodeTables(BitWriter& out, int channels, const std::uint8_t* lengths, int size, TableHistory& history);

// Bits that WriteCodeTables would write now, without writing or recording.
std::uint32_t CodeTablesCostBits(int channels, const std::uint8_t* lengths, int size, const TableHistory& history);

}  // namespace sfx::encode
