// Payload test data shared by the payload, packer, sfxpack and fuzz tests:
// an independent bit-by-bit seeded CRC, the re-sealing of hand-edited
// images, one CRC table of the code under test, a minimal PE file to stand
// in for the stub, and sample bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/byte_order.h"
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

// A small but well-formed PE32 file: DOS header, "PE\0\0", COFF header, a
// 224-byte optional header with 16 data directories, and one section whose
// raw data fills 0x200..0x3FF. `certificate_at` != 0 fills the certificate
// table entry with that file offset and 0x100 bytes. `trailing` bytes are
// appended after the section data (an old overlay or a signature).
inline constexpr std::size_t kFakePeSectionsEnd = 0x400;
inline std::vector<std::uint8_t> MakeFakePe(std::size_t trailing = 0, std::uint32_t certificate_at = 0) {
  std::vector<std::uint8_t> pe(kFakePeSectionsEnd, 0);
  pe[0] = 'M';
  pe[1] = 'Z';
  sfx::StoreLE32(&pe[0x3C], 0x40);
  std::memcpy(&pe[0x40], "PE\0\0", 4);
  std::uint8_t* coff = &pe[0x44];
  coff[0] = 0x4C, coff[1] = 0x01;    // i386
  coff[2] = 1;                       // one section
  coff[16] = 0xE0;                   // optional header size
  coff[18] = 0x02, coff[19] = 0x01;  // executable, 32-bit
  std::uint8_t* optional = &pe[0x58];
  optional[0] = 0x0B, optional[1] = 0x01;  // PE32
  sfx::StoreLE32(optional + 32, 0x1000);   // section alignment
  sfx::StoreLE32(optional + 36, 0x200);    // file alignment
  sfx::StoreLE32(optional + 56, 0x2000);   // size of image
  sfx::StoreLE32(optional + 60, 0x200);    // size of headers
  sfx::StoreLE32(optional + 92, 16);       // number of data directories
  if (certificate_at != 0) {
    sfx::StoreLE32(optional + 128, certificate_at);
    sfx::StoreLE32(optional + 132, 0x100);
  }
  std::uint8_t* section = &pe[0x58 + 0xE0];
  std::memcpy(section, ".text", 5);
  sfx::StoreLE32(section + 8, 0x10);     // virtual size
  sfx::StoreLE32(section + 12, 0x1000);  // virtual address
  sfx::StoreLE32(section + 16, 0x200);   // size of raw data
  sfx::StoreLE32(section + 20, 0x200);   // pointer to raw data
  for (std::size_t i = 0x200; i < kFakePeSectionsEnd; ++i) pe[i] = static_cast<std::uint8_t>(i * 7);
  for (std::size_t i = 0; i < trailing; ++i) pe.push_back(static_cast<std::uint8_t>(0xA0 + i));
  return pe;
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
