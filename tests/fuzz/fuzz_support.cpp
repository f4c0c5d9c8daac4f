// Helpers shared by the fuzz targets and the seed generator (see the header).
#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/byte_order.h"
#include "encode/encoder.h"
#include "payload/crc32.h"
#include "payload/payload_format.h"
#include "support/payload_samples.h"

namespace sfx::fuzz {

namespace {

const CrcTable& Table() { return test::SharedCrcTable(); }

// True when [offset, offset + length) lies inside `size` bytes, without
// overflowing.
bool Inside(std::uint64_t offset, std::uint64_t length, std::size_t size) {
  return offset <= size && length <= size - offset;
}

void FixEntryCrcs(std::vector<std::uint8_t>& image) {
  std::uint64_t offset = LoadLE32(image.data() + kDirOffsetOffset);
  // Each step moves forward by at least 24 bytes, so the walk ends.
  while (Inside(offset, kDirectoryEndSize, image.size())) {
    const std::uint32_t name_area = LoadLE32(image.data() + offset + kEntryNameAreaLengthOffset);
    if (name_area == 0 || !Inside(offset, kImageEntryFixedSize, image.size())) return;
    std::uint8_t* entry = image.data() + offset;
    const std::uint32_t data_size = LoadLE32(entry + kEntryDataSizeOffset);
    const std::uint32_t data_offset = LoadLE32(entry + kEntryDataOffsetOffset);
    if (Inside(data_offset, data_size, image.size())) {
      StoreLE32(entry + kEntryDataCrcOffset, CrcBlock(Table(), image.data() + data_offset, data_size, kPayloadSeed));
    }
    offset += kImageEntryFixedSize + std::uint64_t{name_area};
  }
}

}  // namespace

void FixImageCrcs(std::vector<std::uint8_t>& image, bool entries_too) {
  if (image.size() < kImageHeaderSize) return;
  if (entries_too) FixEntryCrcs(image);
  const std::uint32_t dir_length = LoadLE32(image.data() + kDirCrcLengthOffset);
  const std::uint32_t dir_offset = LoadLE32(image.data() + kDirOffsetOffset);
  // The entry fix-ups above may change bytes inside the directory, so its
  // CRC is taken after them, and the header CRC (which covers dir_crc) last.
  if (Inside(dir_offset, dir_length, image.size())) {
    StoreLE32(image.data() + kDirCrcOffset, CrcBlock(Table(), image.data() + dir_offset, dir_length, kPayloadSeed));
  }
  StoreLE32(image.data() + kHeaderCrcOffset, CrcBlock(Table(), image.data() + kSignatureOffset,
                                                      static_cast<std::uint32_t>(kHeaderCrcSpan), kPayloadSeed));
}

std::vector<std::uint8_t> MakePayloadBlock(const std::vector<std::uint8_t>& image, int level, bool multimedia) {
  EncodeOptions options;
  options.level = level;
  options.allow_multimedia = multimedia;
  std::vector<std::uint8_t> stream = CompressStream(image.data(), image.size(), options);
  ScrambleStream(stream.data(), stream.size(), kPayloadSeed);
  // The header goes in front of the stream in one allocation.
  std::vector<std::uint8_t> block(kEmbeddedHeaderSize + stream.size());
  StoreLE32(block.data() + kPackedSizeOffset, static_cast<std::uint32_t>(stream.size()));
  StoreLE32(block.data() + kUnpackedSizeOffset, static_cast<std::uint32_t>(image.size()));
  std::copy(stream.begin(), stream.end(), block.begin() + kEmbeddedHeaderSize);
  return block;
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz property violated: %s\n", what);
  std::abort();
}

bool StaysBelowFolder(const char* name) {
  if (name[0] == '\0' || name[0] == '\\' || name[0] == '/') return false;
  long depth = 0;
  std::string component;
  for (const char* p = name;; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c != 0 && c != '\\' && c != '/') {
      if (c < 0x20 || c == ':') return false;
      component += static_cast<char>(c);
      continue;
    }
    const bool was_parent = component.find_first_not_of('.') == std::string::npos && component.size() >= 2;
    while (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.pop_back();
    if (!component.empty()) {
      ++depth;
    } else if (was_parent) {
      // ".." and longer runs of dots: the conservative reading climbs.
      if (--depth < 0) return false;
    }
    component.clear();
    if (c == 0) break;
  }
  return depth >= 1;
}

std::uint32_t LoadLE(const std::uint8_t* bytes, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = count; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

}  // namespace sfx::fuzz
