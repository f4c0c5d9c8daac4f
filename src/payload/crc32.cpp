// Seeded CRC-32 over the reflected polynomial 0xEDB88320.
//
// One table step per byte: r = table[(r ^ b) & 0xFF] ^ (r >> 8). The register
// is fed as given and returned as is (no complement at either end). The block
// loop takes eight bytes per iteration by slicing: kSlices[k][b] is the
// register change of byte b followed by k zero bytes, so the eight table
// steps of a little-endian 64-bit word fold into eight independent lookups
// XORed together (CRC is linear over XOR). The remaining 0 to 7 bytes go one
// at a time; the result equals the plain byte-by-byte loop.
#include "payload/crc32.h"

namespace sfx {

namespace {

constexpr std::uint32_t kCrcPolynomial = 0xEDB88320u;

inline std::uint32_t CrcStep(const CrcTable& table, std::uint32_t reg, std::uint8_t byte) {
  return table.entry[(reg ^ byte) & 0xFFu] ^ (reg >> 8);
}

// kSlices[0] is the one-byte table; kSlices[k][b] = kSlices[k - 1][b] fed one
// more zero byte.
struct SliceTables {
  std::uint32_t entry[8][256];
};

constexpr SliceTables MakeSliceTables() {
  SliceTables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t r = i;
    for (int bit = 0; bit < 8; ++bit) r = (r & 1u) != 0 ? (r >> 1) ^ kCrcPolynomial : r >> 1;
    t.entry[0][i] = r;
  }
  for (int k = 1; k < 8; ++k)
    for (std::uint32_t i = 0; i < 256; ++i)
      t.entry[k][i] = t.entry[0][t.entry[k - 1][i] & 0xFFu] ^ (t.entry[k - 1][i] >> 8);
  return t;
}

constexpr SliceTables kSlices = MakeSliceTables();

}  // namespace

void BuildCrcTable(CrcTable& table) {
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t r = i;
    for (int bit = 0; bit < 8; ++bit) r = (r & 1u) != 0 ? (r >> 1) ^ kCrcPolynomial : r >> 1;
    table.entry[i] = r;
  }
}

std::uint32_t CrcBlock(const CrcTable& table, const void* data, std::uint32_t length, std::uint32_t reg) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  // The slices are the same polynomial's table as `table`, fixed at compile
  // time; `table` serves the byte steps.
  const auto& t = kSlices.entry;
  for (std::uint32_t steps = length / 8; steps != 0; --steps) {
    const std::uint32_t low = (static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                               static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24) ^
                              reg;
    reg = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^ t[4][low >> 24] ^ t[3][p[4]] ^
          t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    p += 8;
  }
  for (std::uint32_t rest = length % 8; rest != 0; --rest) reg = CrcStep(table, reg, *p++);
  return reg;
}

}  // namespace sfx
