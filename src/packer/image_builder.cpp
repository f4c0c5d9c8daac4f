// Image layout and sealing. The directory and the data are placed first;
// then dir_crc is computed over the finished directory, and header_crc last,
// because it covers dir_crc and the other header fields.
#include "packer/image_builder.h"

#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <utility>

#include "common/byte_order.h"
#include "packer/codepage_1252.h"
#include "packer/pack_error.h"
#include "payload/crc32.h"
#include "payload/payload_format.h"

namespace sfx {

namespace {

// Name + NUL, rounded up to a multiple of 4 so that entries stay aligned.
std::uint64_t NameAreaLength(const std::string& name) { return (name.size() + 1 + 3) & ~std::uint64_t{3}; }

void CheckName(const std::string& name) {
  if (name.find('\0') != std::string::npos) {
    throw PackError("entry name \"" + Cp1252ToUtf8(name) + "\" contains a NUL character");
  }
  if (!IsSafeEntryName(name.c_str())) {
    throw PackError("entry name \"" + Cp1252ToUtf8(name) + "\" is not a safe relative name");
  }
}

}  // namespace

void ImageBuilder::AddEntry(std::string name, std::vector<std::uint8_t> data) {
  CheckName(name);
  const std::uint64_t size = data.size();
  auto shared = std::make_shared<std::vector<std::uint8_t>>(std::move(data));
  entries_.push_back({std::move(name), size, [shared](std::uint8_t* dst, std::size_t n) {
                        if (n != 0) std::memcpy(dst, shared->data(), n);
                      }});
}

void ImageBuilder::AddEntry(std::string name, std::uint64_t size, DataLoader loader) {
  CheckName(name);
  entries_.push_back({std::move(name), size, std::move(loader)});
}

std::uint64_t ImageBuilder::DirectorySize() const {
  std::uint64_t size = kDirectoryEndSize;
  for (const Entry& entry : entries_) size += kImageEntryFixedSize + NameAreaLength(entry.name);
  return size;
}

std::uint64_t ImageBuilder::ImageSize() const {
  std::uint64_t size = kImageHeaderSize + DirectorySize();
  for (const Entry& entry : entries_) {
    // Sizes come from files; keep the sum from wrapping even for absurd ones.
    if (entry.size > kMaxImageSize) return kMaxImageSize + 1;
    size += entry.size;
  }
  return size;
}

std::vector<std::uint8_t> ImageBuilder::Build() const {
  const std::uint64_t total = ImageSize();
  if (total > kMaxImageSize) {
    throw PackError("the files need an image of " + std::to_string(total) + " bytes; an installer holds at most " +
                    std::to_string(kMaxImageSize));
  }
  std::vector<std::uint8_t> image;
  try {
    image.assign(static_cast<std::size_t>(total), 0);
  } catch (const std::exception&) {  // bad_alloc, or length_error in a 32-bit process
    throw PackError("not enough memory for an image of " + std::to_string(total) + " bytes");
  }

  const std::size_t dir_offset = kImageHeaderSize;
  const std::size_t dir_size = static_cast<std::size_t>(DirectorySize());
  std::size_t entry_at = dir_offset;
  std::size_t data_at = dir_offset + dir_size;
  CrcTable table;
  BuildCrcTable(table);
  // Data stored so far, by size and CRC: the offsets with that key.
  std::multimap<std::pair<std::size_t, std::uint32_t>, std::size_t> stored;
  for (const Entry& entry : entries_) {
    const auto size = static_cast<std::size_t>(entry.size);
    // Loaded at the end of the data; kept there unless it repeats data
    // already stored, in which case the next entry overwrites it.
    std::size_t offset = data_at;
    std::uint8_t* data = image.data() + data_at;
    if (size != 0) entry.loader(data, size);
    const std::uint32_t crc = CrcBlock(table, data, static_cast<std::uint32_t>(size), kPayloadSeed);
    if (size != 0) {
      const auto key = std::make_pair(size, crc);
      for (auto [at, end] = stored.equal_range(key); at != end; ++at) {
        if (std::memcmp(image.data() + at->second, data, size) == 0) {
          offset = at->second;
          break;
        }
      }
      if (offset == data_at) {
        stored.emplace(key, data_at);
        data_at += size;
      }
    }
    const auto area = static_cast<std::uint32_t>(NameAreaLength(entry.name));
    std::uint8_t* fixed = image.data() + entry_at;
    StoreLE32(fixed + kEntryNameAreaLengthOffset, area);
    StoreLE32(fixed + kEntryDataCrcOffset, crc);
    StoreLE32(fixed + kEntryDataSizeOffset, static_cast<std::uint32_t>(size));
    StoreLE32(fixed + kEntryDataOffsetOffset, static_cast<std::uint32_t>(offset));
    // reserved_a, reserved_b and the name's NUL and padding stay 0.
    std::memcpy(fixed + kImageEntryFixedSize, entry.name.data(), entry.name.size());
    entry_at += kImageEntryFixedSize + area;
  }
  if (data_at < image.size()) {
    image.resize(data_at);
    image.shrink_to_fit();
  }
  // entry_at now points at the terminating 0 word, already zero.

  std::uint8_t* header = image.data();
  std::memcpy(header + kSignatureOffset, kImageSignature, kImageSignatureSize);
  StoreLE32(header + kDirCrcLengthOffset, static_cast<std::uint32_t>(dir_size));
  StoreLE32(header + kDirOffsetOffset, static_cast<std::uint32_t>(dir_offset));
  StoreLE32(header + kDirCrcOffset,
            CrcBlock(table, image.data() + dir_offset, static_cast<std::uint32_t>(dir_size), kPayloadSeed));
  StoreLE32(header + kDataEndOffset, static_cast<std::uint32_t>(data_at));
  StoreLE32(header + kHeaderCrcOffset,
            CrcBlock(table, header + kSignatureOffset, static_cast<std::uint32_t>(kHeaderCrcSpan), kPayloadSeed));
  return image;
}

}  // namespace sfx
