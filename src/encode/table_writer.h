// Writes the header of a block and its code lengths.
//
// Header: one bit for multimedia, one bit "keep" (lengths are differences
// mod 16 from the previous read's lengths), for multimedia two bits of
// channel count − 1; then 19 four-bit lengths of the code-length code; then
// the block's code lengths coded with it: 0..15 a length (or difference),
// 16 = previous new length 3..6 times (2 extra bits), 17 = 3..10 zeros
// (3 bits), 18 = 11..138 zeros (7 bits). Zero and repeat runs always refer
// to the new absolute lengths, also in keep mode.
#pragma once

#include <cstdint>

#include "encode/bit_writer.h"
#include "encode/stream_symbols.h"

namespace sfx::encode {

// The code lengths the decoder remembers from its last table read. Entries at
// or past `size` are whatever that decoder chose, so they are never used.
struct TableHistory {
  std::uint8_t lengths[kMaxTableSize] = {};
  int size = 0;  // table size of the last read; 0 before the first
  std::uint32_t reads = 0;       // statistics: tables written
  std::uint32_t kept_reads = 0;  // statistics: of those, in kept form
};

// Writes a block header for an LZ block (channels = 0) or a multimedia block
// of 1..4 channels, followed by `size` code lengths (374 for LZ, 257 per
// channel), choosing absolute or kept lengths by size, and records the read
// in `history`.
void WriteCodeTables(BitWriter& out, int channels, const std::uint8_t* lengths, int size, TableHistory& history);

// Bits that WriteCodeTables would write now, without writing or recording.
std::uint32_t CodeTablesCostBits(int channels, const std::uint8_t* lengths, int size, const TableHistory& history);

}  // namespace sfx::encode
