// Payload images for tests (see test_image.h).
#include "support/test_image.h"

#include <stdexcept>

#include "common/byte_order.h"
#include "payload/crc32.h"
#include "payload/payload_format.h"

namespace sfx::test {
namespace {

std::uint32_t SeededCrc(const std::uint8_t* data, std::size_t size) {
  CrcTable table;
  BuildCrcTable(table);
  return CrcBlock(table, data, static_cast<std::uint32_t>(size), kPayloadSeed);
}

// Recomputes the header CRC over bytes 0x04 to 0x33.
void SealHeader(std::vector<std::uint8_t>& image) { StoreLE32(image.data(), SeededCrc(image.data() + 4, 48)); }

// Offset of directory entry `index`; throws when there is no such entry.
std::size_t EntryOffset(const std::vector<std::uint8_t>& image, std::size_t index) {
  std::size_t offset = LoadLE32(image.data() + 0x24);
  for (std::size_t i = 0;; ++i) {
    const std::uint32_t name_area = LoadLE32(image.data() + offset);
    if (name_area == 0) throw std::out_of_range("image has fewer entries");
    if (i == index) return offset;
    offset += kImageEntryFixedSize + name_area;
  }
}

}  // namespace

std::vector<std::uint8_t> BuildTestImage(const std::vector<TestEntry>& entries) {
  std::vector<std::uint8_t> directory;
  std::size_t data_size = 0;
  for (const auto& entry : entries) data_size += entry.data.size();

  std::size_t directory_size = 4;
  for (const auto& entry : entries) directory_size += kImageEntryFixedSize + entry.name.size() + 1;
  const std::size_t dir_offset = kImageHeaderSize;
  std::size_t data_offset = dir_offset + directory_size;
  const std::size_t total = data_offset + data_size;

  std::vector<std::uint8_t> image(total, 0);
  std::size_t at = dir_offset;
  for (const auto& entry : entries) {
    const auto name_area = static_cast<std::uint32_t>(entry.name.size() + 1);
    StoreLE32(&image[at], name_area);
    StoreLE32(&image[at + 4], SeededCrc(entry.data.data(), entry.data.size()));
    StoreLE32(&image[at + 8], static_cast<std::uint32_t>(entry.data.size()));
    StoreLE32(&image[at + 12], static_cast<std::uint32_t>(data_offset));
    for (std::size_t i = 0; i < entry.name.size(); ++i) image[at + 24 + i] = static_cast<std::uint8_t>(entry.name[i]);
    for (std::size_t i = 0; i < entry.data.size(); ++i) image[data_offset + i] = entry.data[i];
    data_offset += entry.data.size();
    at += kImageEntryFixedSize + name_area;
  }
  // The closing 0 word is already there (the image starts zeroed).

  for (std::size_t i = 0; i < kImageSignatureSize; ++i) image[4 + i] = static_cast<std::uint8_t>(kImageSignature[i]);
  StoreLE32(&image[0x20], static_cast<std::uint32_t>(directory_size));
  StoreLE32(&image[0x24], static_cast<std::uint32_t>(dir_offset));
  StoreLE32(&image[0x28], SeededCrc(&image[dir_offset], directory_size));
  StoreLE32(&image[0x2C], static_cast<std::uint32_t>(total));
  SealHeader(image);
  return image;
}

void DamageImageHeader(std::vector<std::uint8_t>& image) { image.at(0x1C) ^= 0x5A; }

void DamageImageDirectory(std::vector<std::uint8_t>& image) {
  const std::size_t dir_offset = LoadLE32(image.data() + 0x24);
  const bool empty = LoadLE32(image.data() + dir_offset) == 0;
  // reserved_a (+16) of the first entry is covered by the CRC but never
  // interpreted. An empty directory has only its end word; a flipped bit
  // there is caught by the directory CRC before the word is read.
  image.at(dir_offset + (empty ? 3 : 16)) ^= 0x80;
}

void DamageImageEntry(std::vector<std::uint8_t>& image, std::size_t index) {
  const std::size_t offset = EntryOffset(image, index);
  const std::uint32_t size = LoadLE32(image.data() + offset + 8);
  if (size == 0) throw std::invalid_argument("entry has no data to damage");
  const std::uint32_t data = LoadLE32(image.data() + offset + 12);
  image.at(data + size - 1) ^= 0xFF;
}

}  // namespace sfx::test
