// Seeded CRC-32 (reflected polynomial 0xEDB88320) that protects the payload image.
//
// The register is neither complemented before the first byte nor after the
// last: CrcBlock over some bytes with register s equals the complement of the
// standard CRC-32 of those bytes continued from the standard value ~s.
#pragma once

#include <cstdint>

#include "format/scramble_key.h"  // kPayloadSeed, the initial register of every image CRC

namespace sfx {

// 256-entry lookup table for one byte step.
struct CrcTable {
  std::uint32_t entry[256];
};

// Fills `table` for the polynomial 0xEDB88320 (entry 1 = 0x77073096).
void BuildCrcTable(CrcTable& table);

// Feeds `length` bytes at `data` into register `reg` and returns the new
// register. Works 8 bytes per step, then byte by byte; a length of 0 returns
// `reg` unchanged.
std::uint32_t CrcBlock(const CrcTable& table, const void* data, std::uint32_t length, std::uint32_t reg);

}  // namespace sfx
