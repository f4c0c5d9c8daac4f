// Seeded CRC-32 over the reflected polynomial 0xEDB88320.
//
// One table step per byte: r = table[(r ^ b) & 0xFF] ^ (r >> 8). The register
// is fed as given and returned as is (no complement at either end). The block
// loop handles eight bytes per iteration and the remaining 0 to 7 bytes one
// at a time; the split only saves loop overhead, the result equals the plain
// byte-by-byte loop.
#include "payload/crc32.h"

namespace sfx {

namespace {

constexpr std::uint32_t kCrcPolynomial = 0xEDB88320u;

inline std::uint32_t CrcStep(const CrcTable& table, std::uint32_t reg, std::uint8_t byte) {
  return table.entry[(reg ^ byte) & 0xFFu] ^ (reg >> 8);
}

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
  for (std::uint32_t steps = length / 8; steps != 0; --steps) {
    reg = CrcStep(table, reg, p[0]);
    reg = CrcStep(table, reg, p[1]);
    reg = CrcStep(table, reg, p[2]);
    reg = CrcStep(table, reg, p[3]);
    reg = CrcStep(table, reg, p[4]);
    reg = CrcStep(table, reg, p[5]);
    reg = CrcStep(table, reg, p[6]);
    reg = CrcStep(table, reg, p[7]);
    p += 8;
  }
  for (std::uint32_t rest = length % 8; rest != 0; --rest) reg = CrcStep(table, reg, *p++);
  return reg;
}

}  // namespace sfx
