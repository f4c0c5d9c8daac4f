// Locating the payload in synthetic PE files and images: the payload
// section in the file and in a loaded image, the overlay of older
// installers after the section ends, the marker, the announced stream size,
// trailing bytes, and broken headers. The PE header reader's own bounds:
// optional header fields, the certificate entry, the header room, the
// headers of a loaded image and the manifest resource.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "common/byte_order.h"
#include "payload/payload_locator.h"
#include "payload/pe_image.h"
#include "support/fake_pe.h"

namespace sfx {
namespace {

using Bytes = std::vector<std::uint8_t>;

using Section = test::FakePeSection;

constexpr std::uint32_t kPeOffset = 0x80;
constexpr std::size_t kSectionTable = test::FakePeSectionTable(kPeOffset);

// A PE file with the given sections and bare headers (no optional header
// fields), everything past the section table 0xCC, and `file_size` bytes in
// all (at least the headers and section data).
Bytes MakePe(const std::vector<Section>& sections, std::size_t file_size) {
  return test::BuildFakePe(
      {.sections = sections, .file_size = file_size, .pe_offset = kPeOffset, .pe32_fields = false, .fill = 0xCC});
}

// "SFXPAYLD", the block header and the stream.
Bytes MarkedBlock(const Bytes& stream, std::uint32_t unpacked) {
  Bytes data(16 + stream.size());
  std::memcpy(data.data(), "SFXPAYLD", 8);
  StoreLE32(data.data() + 8, static_cast<std::uint32_t>(stream.size()));
  StoreLE32(data.data() + 12, unpacked);
  std::copy(stream.begin(), stream.end(), data.begin() + 16);
  return data;
}

void AppendPayload(Bytes& file, const Bytes& stream, std::uint32_t unpacked) {
  const Bytes data = MarkedBlock(stream, unpacked);
  file.insert(file.end(), data.begin(), data.end());
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
  ASSERT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), PayloadStatus::kOk);
  EXPECT_EQ(block, file.data() + block_at);
  EXPECT_EQ(block_size, 8u + 5u);
  EXPECT_EQ(LoadLE32(block + 4), 77u);
}

TEST(OverlayTest, EmptyStreamIsAValidBlock) {
  Bytes file = MakePe(kSections, 0x600);
  AppendPayload(file, {}, 0);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), PayloadStatus::kOk);
  EXPECT_EQ(block_size, 8u);
}

TEST(OverlayTest, FileEndingWithItsSectionsHasNoOverlay) {
  const Bytes file = MakePe(kSections, 0x600);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), PayloadStatus::kNoPayload);
}

TEST(OverlayTest, OverlayWithoutTheMarkerIsRefused) {
  Bytes file = MakePe(kSections, 0x600);
  AppendPayload(file, {1}, 1);
  file[0x600 + 7] = 'X';
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), PayloadStatus::kBadMarker);
  Bytes other = MakePe(kSections, 0x603);  // three stray bytes
  EXPECT_EQ(FindInstallerPayload(other.data(), other.size(), &block, &block_size), PayloadStatus::kBadMarker);
}

TEST(OverlayTest, CutPayloadsAreTruncated) {
  Bytes full = MakePe(kSections, 0x600);
  AppendPayload(full, {1, 2, 3, 4, 5}, 9);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  // Cut inside the marker, inside the header, and inside the stream.
  for (std::size_t keep : {0x600u + 4, 0x600u + 8 + 6, 0x600u + 8 + 8 + 4}) {
    Bytes file(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keep));
    EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), PayloadStatus::kTruncated) << keep;
  }
}

TEST(OverlayTest, SectionDataPastTheFileEndIsTruncated) {
  const Bytes file = MakePe({{0x400, 0x1000}}, 0x600);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), PayloadStatus::kTruncated);
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
  EXPECT_EQ(status_of(no_mz), PayloadStatus::kNotPe);
  Bytes no_pe = good;
  no_pe[kPeOffset + 1] = 'X';
  EXPECT_EQ(status_of(no_pe), PayloadStatus::kNotPe);
  Bytes far_lfanew = good;
  StoreLE32(far_lfanew.data() + 0x3C, 0xFFFFFFF0u);
  EXPECT_EQ(status_of(far_lfanew), PayloadStatus::kNotPe);
  Bytes many_sections = good;
  many_sections[kPeOffset + 4 + 2] = 0xFF;
  many_sections[kPeOffset + 4 + 3] = 0xFF;  // 65535 section headers cannot fit
  EXPECT_EQ(status_of(many_sections), PayloadStatus::kNotPe);
  Bytes huge_optional = good;
  huge_optional[kPeOffset + 4 + 16] = 0xFF;
  huge_optional[kPeOffset + 4 + 17] = 0xFF;
  EXPECT_EQ(status_of(huge_optional), PayloadStatus::kNotPe);
  const Bytes tiny = {'M', 'Z'};
  EXPECT_EQ(status_of(tiny), PayloadStatus::kNotPe);
  EXPECT_EQ(status_of(Bytes{}), PayloadStatus::kNotPe);
}

TEST(OverlayTest, HeadersCutAtEveryLengthNeverReadOutside) {
  Bytes full = MakePe(kSections, 0x600);
  AppendPayload(full, {1, 2, 3}, 3);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  for (std::size_t keep = 0; keep < full.size(); ++keep) {
    // Exact-size copies let the address sanitizer see any read past the end.
    Bytes file(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keep));
    EXPECT_NE(FindInstallerPayload(file.data(), file.size(), &block, &block_size), PayloadStatus::kOk) << keep;
  }
}

constexpr std::size_t kOptionalAt = kPeOffset + 24;

// Optional header fields exist only as far as the COFF header says the
// optional header reaches; the certificate entry only when the directory
// count and the optional header hold it (+128 in PE32, +144 in PE32+).
TEST(PeImageTest, OptionalHeaderFieldsStayInsideTheOptionalHeader) {
  struct Case {
    const char* what;
    std::uint16_t magic, optional_size;
    std::uint32_t directories;
    bool fixed_part, size_of_image;
    std::optional<std::size_t> certificate;
  };
  const Case cases[] = {
      {"PE32", 0x10B, 0xE0, 16, true, true, kOptionalAt + 128},
      {"PE32+", 0x20B, 0xF0, 16, true, true, kOptionalAt + 144},
      {"four directories", 0x10B, 0xE0, 4, true, true, std::nullopt},
      {"cut inside the certificate entry", 0x10B, 135, 16, true, true, std::nullopt},
      {"unknown magic", 0x107, 0xE0, 16, false, true, kOptionalAt + 128},
      {"cut inside the fixed part", 0x10B, 71, 16, false, true, std::nullopt},
      {"cut inside SizeOfImage", 0x10B, 59, 16, false, false, std::nullopt},
      {"none", 0, 0, 0, false, false, std::nullopt},
  };
  for (const Case& c : cases) {
    Bytes file = MakePe({}, 0x400);
    std::fill(file.begin() + kOptionalAt, file.end(), 0);
    file[kPeOffset + 4 + 16] = static_cast<std::uint8_t>(c.optional_size);
    StoreLE32(file.data() + kOptionalAt, c.magic);
    StoreLE32(file.data() + kOptionalAt + kSizeOfImageOffset, 0x5000);
    StoreLE32(file.data() + kOptionalAt + (c.magic == 0x20B ? 108 : 92), c.directories);
    StoreLE32(file.data() + kOptionalAt + (c.magic == 0x20B ? 144 : 128), 0x1234);
    const std::optional<PeImage> image = PeImage::Parse(file.data(), file.size());
    ASSERT_TRUE(image) << c.what;
    EXPECT_EQ(image->has_optional_header(), c.fixed_part) << c.what;
    EXPECT_EQ(image->OptionalField(kSizeOfImageOffset).has_value(), c.size_of_image) << c.what;
    const std::optional<PeDirectoryEntry> entry = image->CertificateEntry();
    EXPECT_EQ(entry ? std::optional<std::size_t>(entry->offset) : std::nullopt, c.certificate) << c.what;
    if (entry) {
      EXPECT_EQ(entry->address, 0x1234u) << c.what;
    }
  }
}

// The header room ends at SizeOfHeaders, the first raw data or the end of
// all raw data, whichever comes first; sections without raw data do not
// count, and sums of 32-bit fields do not wrap.
TEST(PeImageTest, SectionGeometry) {
  struct Case {
    std::vector<Section> sections;
    std::uint32_t size_of_headers;
    std::uint64_t data_end, room_end, virtual_end;
  };
  const std::uint64_t table_end = kSectionTable + 2 * 40;
  const Case cases[] = {
      {{{0x400, 0x200, ".a", 0x2000, 0x10}, {0x200, 0x200, ".b", 0x1000, 0x800}}, 0x400, 0x600, 0x200, 0x2200},
      {{{0x400, 0x200}, {0x200, 0x200}}, 0x100, 0x600, 0x100, 0x200},
      {{{0x300, 0}, {0, 0}}, 0x400, table_end, table_end, 0},
      {{{0xFFFFFFFF, 0xFFFFFFFF, ".c", 0xFFFFFFFF, 0}}, 0x400, 0x1FFFFFFFEu, 0x400, 0x1FFFFFFFEu},
  };
  for (const Case& c : cases) {
    Bytes file = MakePe(c.sections, 0x400);
    StoreLE32(file.data() + kOptionalAt + kSizeOfHeadersOffset, c.size_of_headers);
    const std::optional<PeImage> image = PeImage::Parse(file.data(), file.size());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->SectionDataEnd(), c.data_end);
    EXPECT_EQ(image->HeaderRoomEnd(), c.room_end);
    EXPECT_EQ(image->SectionVirtualEnd(), c.virtual_end);
  }
}

// A loaded image's SizeOfImage is read only from the mapped header bytes.
TEST(PeImageTest, MappedImageSizeReadsOnlyTheMappedBytes) {
  struct Case {
    std::uint32_t lfanew;
    std::size_t mapped;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {kPeOffset, 0x1000, 0x5000},   {0x1000 - 24 - 72, 0x1000, 0x5000},
      {0x1000 - 24 - 71, 0x1000, 0}, {0xFFFFFFF0u, 0x1000, 0},
      {kPeOffset, 0x20, 0},
  };
  for (const Case& c : cases) {
    Bytes mapped(0x1000, 0);
    StoreLE32(mapped.data() + 0x3C, c.lfanew);
    if (c.lfanew < 0x1000 - 24 - 60) StoreLE32(mapped.data() + c.lfanew + 24 + kSizeOfImageOffset, 0x5000);
    // An exact-size copy lets the address sanitizer see a read past `mapped`.
    const Bytes bytes(mapped.begin(), mapped.begin() + static_cast<std::ptrdiff_t>(c.mapped));
    EXPECT_EQ(PeImage::MappedImageSize(bytes.data(), bytes.size()), c.expected) << c.lfanew;
  }
}

// The manifest is found through the three levels of the resource directory;
// a directory that leads outside itself or the section's raw data, loops, or
// nests deeper or shallower gives nothing.
TEST(PeImageTest, ManifestSpan) {
  constexpr std::size_t kTree = 0x200, kOptional = 0x58;
  constexpr char kText[] = "<assembly/>";
  struct Case {
    const char* what;
    std::size_t at;  // where `value` is stored, 0: nowhere
    std::uint32_t value;
    bool found;
  };
  const Case cases[] = {
      {"well formed", 0, 0, true},
      {"the first name a string", kTree + test::kFakeNameTable + 16, 0x80000100, true},
      {"no resource directory", kOptional + 112, 0, false},
      {"directory past the raw data", kOptional + 116, 0x1000, false},
      {"type table entries past the directory", kTree + 12, 0xFFFF, false},
      {"RT_VERSION only", kTree + 16, 16, false},
      {"type leads to a data entry", kTree + 20, test::kFakeNameTable, false},
      {"name table loops back to the root", kTree + test::kFakeNameTable + 20, 0x80000000, false},
      {"language leads to a table", kTree + test::kFakeLanguageTable + 20, 0x80000000 | test::kFakeDataEntry, false},
      {"data entry past the directory", kTree + test::kFakeLanguageTable + 20, 0x7FFFFFF0, false},
      {"data past the raw data", kTree + test::kFakeDataEntry + 4, 0x200, false},
      {"data size near 4 GiB", kTree + test::kFakeDataEntry + 4, 0xFFFFFFFF, false},
  };
  auto span_of = [](const Bytes& file) {
    const std::optional<PeImage> image = PeImage::Parse(file.data(), file.size());
    return image ? image->ManifestSpan() : std::nullopt;
  };
  for (const Case& c : cases) {
    Bytes file = test::MakeFakePe(0, 0, kText);
    if (c.at != 0) StoreLE32(file.data() + c.at, c.value);
    const std::optional<PeSpan> span = span_of(file);
    ASSERT_EQ(span.has_value(), c.found) << c.what;
    if (span) {
      EXPECT_TRUE(span->offset == test::kFakePeManifestAt && span->size == sizeof kText - 1) << c.what;
    }
  }
  // Exact-size copies let the address sanitizer see any read past the end.
  const Bytes full = test::MakeFakePe(0, 0, kText);
  for (std::size_t keep = 0; keep < full.size(); ++keep) {
    const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keep));
    EXPECT_EQ(span_of(cut).has_value(), keep >= test::kFakePeManifestAt + sizeof kText - 1) << keep;
  }
}

// The payload section as the packer adds it: raw data at 0x600 (0x200
// bytes), mapped at 0x3000, VirtualSize = marker + block.
constexpr std::uint32_t kPayloadRaw = 0x600, kPayloadAddress = 0x3000;
Section PayloadSection(std::uint32_t virtual_size) {
  return {kPayloadRaw, 0x200, ".sfxpay", kPayloadAddress, virtual_size};
}

TEST(PayloadSectionTest, FindsTheBlockInTheSectionAndIgnoresTrailingBytes) {
  const Bytes data = MarkedBlock({1, 2, 3, 4, 5}, 77);
  std::vector<Section> sections = kSections;
  sections.push_back(PayloadSection(static_cast<std::uint32_t>(data.size())));
  Bytes file = MakePe(sections, 0x800 + 300);  // a certificate appended later, say
  std::copy(data.begin(), data.end(), file.begin() + kPayloadRaw);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  PayloadLayout layout = PayloadLayout::kOverlay;
  ASSERT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size, &layout), PayloadStatus::kOk);
  EXPECT_EQ(layout, PayloadLayout::kSection);
  EXPECT_EQ(block, file.data() + kPayloadRaw + 8);
  EXPECT_EQ(block_size, 8u + 5u);
  EXPECT_EQ(LoadLE32(block + 4), 77u);
}

TEST(PayloadSectionTest, SectionDataPastTheFileEndIsTruncated) {
  std::vector<Section> sections = kSections;
  sections.push_back(PayloadSection(16));
  Bytes file = MakePe(sections, 0x7FF);
  const Bytes data = MarkedBlock({}, 0);
  std::copy(data.begin(), data.end(), file.begin() + kPayloadRaw);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  EXPECT_EQ(FindInstallerPayload(file.data(), file.size(), &block, &block_size), PayloadStatus::kTruncated);
}

// A loaded image: headers at 0, the payload section's contents at its
// VirtualAddress, `image_size` bytes in all.
Bytes MakeImage(const Bytes& contents, std::uint32_t virtual_size, std::size_t image_size, bool with_section = true) {
  std::vector<Section> sections = kSections;
  if (with_section) sections.push_back(PayloadSection(virtual_size));
  Bytes image = MakePe(sections, image_size);
  const std::size_t room = image_size > kPayloadAddress ? image_size - kPayloadAddress : 0;
  std::copy_n(contents.begin(), std::min(contents.size(), room), image.begin() + kPayloadAddress);
  return image;
}

TEST(LoadedPayloadTest, FindsTheBlockAtTheSectionsAddress) {
  const Bytes data = MarkedBlock({9, 8, 7}, 5);
  const Bytes image = MakeImage(data, static_cast<std::uint32_t>(data.size()), 0x4000);
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  ASSERT_EQ(FindLoadedPayload(image.data(), image.size(), &block, &block_size), PayloadStatus::kOk);
  EXPECT_EQ(block, image.data() + kPayloadAddress + 8);
  EXPECT_EQ(block_size, 8u + 3u);
}

TEST(LoadedPayloadTest, RefusesWhatDoesNotFitOrIsNotAPayload) {
  const Bytes data = MarkedBlock({9, 8, 7}, 5);
  const auto size = static_cast<std::uint32_t>(data.size());
  Bytes bad_marker = data;
  bad_marker[3] = 'x';
  const Bytes whole = MakeImage(data, size, 0x4000);
  struct Case {
    const char* what;
    Bytes image;
    PayloadStatus expected;
  };
  const Case cases[] = {
      {"no payload section", MakeImage(data, size, 0x4000, false), PayloadStatus::kNoPayload},
      {"section past SizeOfImage", MakeImage(data, size, kPayloadAddress + size - 1), PayloadStatus::kTruncated},
      {"stream longer than the section", MakeImage(data, size - 1, 0x4000), PayloadStatus::kTruncated},
      {"section shorter than the marker", MakeImage(data, 7, 0x4000), PayloadStatus::kTruncated},
      {"wrong marker", MakeImage(bad_marker, size, 0x4000), PayloadStatus::kBadMarker},
      {"headers cut before the section table", Bytes(whole.begin(), whole.begin() + 0x100), PayloadStatus::kNotPe},
  };
  for (const Case& c : cases) {
    const std::uint8_t* block = nullptr;
    std::size_t block_size = 0;
    EXPECT_EQ(FindLoadedPayload(c.image.data(), c.image.size(), &block, &block_size), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace sfx
