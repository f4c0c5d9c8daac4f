// Payload test data shared by the payload, packer, sfxpack and fuzz tests:
// an independent bit-by-bit seeded CRC, the re-sealing of hand-edited
// images, one CRC table of the code under test, sample bytes, and (from
// fake_pe.h) a minimal PE file to stand in for the stub.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/byte_order.h"
#include "support/fake_pe.h"
#include "payload/crc32.h"

namespace sfx::test {

// The seeded CRC computed one bit at a time (no table, no unrolling), so it
// shares nothing with the code under test but the definition.
inline std::uint32_t ReferenceCrc(const std::uint8_t* data, std::size_t size, std::uint32_t reg = 0x5A3C9E17u) {
  for (std::size_t i = 0; i < size; ++i) {
    reg ^= data[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1u) != 0 ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
  }
  return reg;
}

// Recomputes header_crc after a test changed a header field.
inline void SealHeader(std::vector<std::uint8_t>& image) {
  sfx::StoreLE32(image.data(), ReferenceCrc(image.data() + 4, 48));
}

// Recomputes dir_crc over its announced span, then header_crc, so that only
// the change under test can make an edited image corrupt.
inline void SealDirectory(std::vector<std::uint8_t>& image) {
  const std::uint32_t length = sfx::LoadLE32(image.data() + 0x20);
  const std::uint32_t offset = sfx::LoadLE32(image.data() + 0x24);
  sfx::StoreLE32(image.data() + 0x28, ReferenceCrc(image.data() + offset, length));
  SealHeader(image);
}

// Points entry `index` of `image` (counted from 0 in directory order) at
// `size` bytes at image offset `offset`, gives it their data CRC and seals
// the directory again: an intact image whose entries may share data.
inline void PointEntryAt(std::vector<std::uint8_t>& image, std::size_t index, std::uint32_t offset,
                         std::uint32_t size) {
  std::uint32_t entry = sfx::LoadLE32(image.data() + 0x24);
  for (std::size_t i = 0; i < index; ++i) entry += 24 + sfx::LoadLE32(image.data() + entry);
  sfx::StoreLE32(image.data() + entry + 4, ReferenceCrc(image.data() + offset, size));
  sfx::StoreLE32(image.data() + entry + 8, size);
  sfx::StoreLE32(image.data() + entry + 12, offset);
  SealDirectory(image);
}

// One table of the code under test (BuildCrcTable) for the whole program,
// built on first use.
inline const sfx::CrcTable& SharedCrcTable() {
  static const sfx::CrcTable table = [] {
    sfx::CrcTable t;
    sfx::BuildCrcTable(t);
    return t;
  }();
  return table;
}

// Bytes that do not repeat in any short pattern (a simple LCG).
inline std::vector<std::uint8_t> NoiseBytes(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return bytes;
}

}  // namespace sfx::test
