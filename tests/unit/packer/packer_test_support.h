// Helpers shared by the packer tests: an independent bit-by-bit seeded CRC,
// a minimal PE file to stand in for the stub, a scratch folder, and
// re-sealing of hand-edited images.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/byte_order.h"

namespace sfx_test {

namespace fs = std::filesystem;

// The seeded CRC computed one bit at a time (no table, no unrolling), so it
// shares nothing with the code under test but the definition.
inline std::uint32_t ReferenceCrc(const std::uint8_t* data, std::size_t size, std::uint32_t reg = 0x5A3C9E17u) {
  for (std::size_t i = 0; i < size; ++i) {
    reg ^= data[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
  }
  return reg;
}

// Recomputes dir_crc and then header_crc of an image whose bytes a test has
// changed, so that only the change under test can make it corrupt.
inline void Reseal(std::vector<std::uint8_t>& image) {
  const std::uint32_t dir_length = sfx::LoadLE32(image.data() + 0x20);
  const std::uint32_t dir_offset = sfx::LoadLE32(image.data() + 0x24);
  sfx::StoreLE32(image.data() + 0x28, ReferenceCrc(image.data() + dir_offset, dir_length));
  sfx::StoreLE32(image.data(), ReferenceCrc(image.data() + 4, 48));
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
  coff[0] = 0x4C, coff[1] = 0x01;  // i386
  coff[2] = 1;                      // one section
  coff[16] = 0xE0;                  // optional header size
  coff[18] = 0x02, coff[19] = 0x01;  // executable, 32-bit
  std::uint8_t* optional = &pe[0x58];
  optional[0] = 0x0B, optional[1] = 0x01;  // PE32
  sfx::StoreLE32(optional + 32, 0x1000);   // section alignment
  sfx::StoreLE32(optional + 36, 0x200);    // file alignment
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

// A fresh folder under the temp folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("sfx-packer-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

inline fs::path U8Path(const char* utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8)));
}

inline void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline void WriteText(const fs::path& path, const std::string& text) {
  WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

inline std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace sfx_test
