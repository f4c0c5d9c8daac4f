// Locating the payload after a synthetic PE image: section ends, the
// marker, the announced stream size, trailing bytes, and broken headers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/byte_order.h"
#include "payload/overlay.h"

namespace sfx {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Section {
  std::uint32_t raw_pointer;
  std::uint32_t raw_size;
};

constexpr std::uint32_t kPeOffset = 0x80;
constexpr std::uint16_t kOptionalSize = 0xE0;
constexpr std::size_t kSectionTable = kPeOffset + 24 + kOptionalSize;

// A PE file with the given sections, its raw data filled with 0xCC, and
// `file_size` bytes in all (at least the headers and section data).
Bytes MakePe(const std::vector<Section>& sections, std::size_t file_size) {
  Bytes file(file_size, 0xCC);
  std::memset(file.data(), 0, kSectionTable + 40 * sections.size());
  file[0] = 'M';
  file[1] = 'Z';
  StoreLE32(file.data() + 0x3C, kPeOffset);
  std::memcpy(file.data() + kPeOffset, "PE\0\0", 4);
  std::uint8_t* coff = file.data() + kPeOffset + 4;
  coff[0] = 0x4C;
  coff[1] = 0x01;
  coff[2] = static_cast<std::uint8_t>(sections.size());
  coff[16] = static_cast<std::uint8_t>(kOptionalSize);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    std::uint8_t* s = file.data() + kSectionTable + 40 * i;
    std::memcpy(s, ".sect", 5);
    StoreLE32(s + 16, sections[i].raw_size);
    StoreLE32(s + 20, sections[i].raw_pointer);
  }
  return file;
}

void AppendPayload(Bytes& file, const Bytes& stream, std::uint32_t unpacked) {
  file.insert(file.end(), {'S', 'F', 'X', 'P', 'A', 'Y', 'L', 'D'});
  std::uint8_t header[8];
  StoreLE32(header, static_cast<std::uint32_t>(stream.size()));
  StoreLE32(header + 4, unpacked);
  file.insert(file.end(), header, header + 8);
  file.insert(file.end(), stream.begin(), stream.end());
}

const std::vector<Section> kSections = {{0x400, 0x200}, {0x200, 0x200}, {0, 0}};

TEST(OverlayTest, OverlayStartsAtTheLargestSectionEnd) {
  const Bytes file = MakePe(kSections, 0x700);
  std::size_t offset = 0;
  ASSERT_TRUE(FindPeOverlayOffset(file.data(), file.size(), &offset));
  EXPECT_EQ(offset, 0x600u);
}

TEST(OverlayTest, FindsTheBlockAndIgnoresTrailingBytes) {
  Bytes file = MakePe(kSections, 0x600);
  AppendPayload(file, {1, 2, 3, 4, 5}, 77);
  const std::size_t block_at = 0x600 + 8;
  file.insert(file.end(), 300, 0x5A);  // a certificate appended later, say
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  ASSERT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), OverlayStatus::kOk);
  EXPECT_EQ(block, file.data() + block_at);
  EXPECT_EQ(block_size, 8u + 5u);
  EXPECT_EQ(LoadLE32(block + 4), 77u);
}

TEST(OverlayTest, EmptyStreamIsAValidBlock) {
  Bytes file = MakePe(kSections, 0x600);
  AppendPayload(file, {}, 0);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), OverlayStatus::kOk);
  EXPECT_EQ(block_size, 8u);
}

TEST(OverlayTest, FileEndingWithItsSectionsHasNoOverlay) {
  const Bytes file = MakePe(kSections, 0x600);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), OverlayStatus::kNoOverlay);
}

TEST(OverlayTest, OverlayWithoutTheMarkerIsRefused) {
  Bytes file = MakePe(kSections, 0x600);
  AppendPayload(file, {1}, 1);
  file[0x600 + 7] = 'X';
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), OverlayStatus::kBadMarker);
  Bytes other = MakePe(kSections, 0x603);  // three stray bytes
  EXPECT_EQ(FindInstallerPayload(other.data(), other.size(), &block, &block_size), OverlayStatus::kBadMarker);
}

TEST(OverlayTest, CutPayloadsAreTruncated) {
  Bytes full = MakePe(kSections, 0x600);
  AppendPayload(full, {1, 2, 3, 4, 5}, 9);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  // Cut inside the marker, inside the header, and inside the stream.
  for (std::size_t keep : {0x600u + 4, 0x600u + 8 + 6, 0x600u + 8 + 8 + 4}) {
    Bytes file(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keep));
    EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), OverlayStatus::kTruncated) << keep;
  }
}

TEST(OverlayTest, SectionDataPastTheFileEndIsTruncated) {
  const Bytes file = MakePe({{0x400, 0x1000}}, 0x600);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), OverlayStatus::kTruncated);
  std::size_t offset = 0;
  EXPECT_FALSE(FindPeOverlayOffset(file.data(), file.size(), &offset));
}

TEST(OverlayTest, BrokenHeadersAreNotPe) {
  const Bytes good = MakePe(kSections, 0x700);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  auto status_of = [&](const Bytes& file) {
    return FindInstallerPayload(file.data(), file.size(), &block, &block_size);
  };
  Bytes no_mz = good;
  no_mz[0] = 'X';
  EXPECT_EQ(status_of(no_mz), OverlayStatus::kNotPe);
  Bytes no_pe = good;
  no_pe[kPeOffset + 1] = 'X';
  EXPECT_EQ(status_of(no_pe), OverlayStatus::kNotPe);
  Bytes far_lfanew = good;
  StoreLE32(far_lfanew.data() + 0x3C, 0xFFFFFFF0u);
  EXPECT_EQ(status_of(far_lfanew), OverlayStatus::kNotPe);
  Bytes many_sections = good;
  many_sections[kPeOffset + 4 + 2] = 0xFF;
  many_sections[kPeOffset + 4 + 3] = 0xFF;  // 65535 section headers cannot fit
  EXPECT_EQ(status_of(many_sections), OverlayStatus::kNotPe);
  Bytes huge_optional = good;
  huge_optional[kPeOffset + 4 + 16] = 0xFF;
  huge_optional[kPeOffset + 4 + 17] = 0xFF;
  EXPECT_EQ(status_of(huge_optional), OverlayStatus::kNotPe);
  const Bytes tiny = {'M', 'Z'};
  EXPECT_EQ(status_of(tiny), OverlayStatus::kNotPe);
  EXPECT_EQ(status_of(Bytes{}), OverlayStatus::kNotPe);
}

TEST(OverlayTest, HeadersCutAtEveryLengthNeverReadOutside) {
  Bytes full = MakePe(kSections, 0x600);
  AppendPayload(full, {1, 2, 3}, 3);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  for (std::size_t keep = 0; keep < full.size(); ++keep) {
    // Exact-size copies let the address sanitizer see any read past the end.
    Bytes file(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keep));
    EXPECT_NE(FindInstallerPayload(file.data(), file.size(), &block, &block_size), OverlayStatus::kOk) << keep;
  }
}

}  // namespace
}  // namespace sfx
