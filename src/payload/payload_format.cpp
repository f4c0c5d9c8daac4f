// Payload block header, image acceptance rules and the directory walk.
//
// The image is checked in place: signature, header CRC and directory CRC
// first, then, entry by entry, the data bound against data_end and the data
// CRC. The format itself bounds nothing against the image length, so every
// read here is checked against the U bytes of the image first (sums are
// formed in 64 bits, which cannot overflow for two 32-bit terms); an image
// that points outside itself is reported as corrupt.
#include "payload/payload_format.h"

#include <cstring>

#include "common/byte_order.h"

namespace sfx {

namespace {

// True when [offset, offset + length) lies inside an image of `size` bytes.
inline bool SpanInside(std::uint64_t offset, std::uint64_t length, std::size_t size) {
  return offset + length <= static_cast<std::uint64_t>(size);
}

}  // namespace

bool ParseEmbeddedPayload(const std::uint8_t* block, std::size_t size, EmbeddedPayload& out) {
  if (block == nullptr || size < kEmbeddedHeaderSize) return false;
  const std::uint32_t packed = LoadLE32(block + kPackedSizeOffset);
  if (static_cast<std::uint64_t>(packed) > static_cast<std::uint64_t>(size - kEmbeddedHeaderSize)) return false;
  out.packed_size = packed;
  out.unpacked_size = LoadLE32(block + kUnpackedSizeOffset);
  out.stream = block + kEmbeddedHeaderSize;
  return true;
}

std::uint64_t MaxUnpackedSize(std::uint32_t packed_size) {
  // The proof in payload_format.h gives fewer than 8 * P * kMaxStepOutput
  // bytes; its slack of 77 steps also covers the step that may start on the
  // very last bit. At most 2080 * (2^32 - 1), so no 64-bit overflow.
  return std::uint64_t{packed_size} * 8u * kMaxStepOutput;
}

bool UnpackedSizeFits(const EmbeddedPayload& payload) {
  return std::uint64_t{payload.unpacked_size} <= MaxUnpackedSize(payload.packed_size);
}

const char* ImageStatusText(ImageStatus status) {
  switch (status) {
    case ImageStatus::kOk:
      return "image is intact";
    case ImageStatus::kTooSmall:
      return "image is shorter than its 52-byte header";
    case ImageStatus::kBadSignature:
      return "image signature does not match";
    case ImageStatus::kBadHeaderCrc:
      return "image header CRC does not match";
    case ImageStatus::kDirectoryOutOfImage:
      return "directory lies outside the image";
    case ImageStatus::kBadDirectoryCrc:
      return "directory CRC does not match";
    case ImageStatus::kEntryOutOfImage:
      return "directory entry or its name lies outside the image";
    case ImageStatus::kUnsafeName:
      return "unsafe entry name";
    case ImageStatus::kDeviceName:
      return "entry name is a Windows device name";
    case ImageStatus::kDataBeyondEnd:
      return "entry data ends past the image's data end";
    case ImageStatus::kDataOutOfImage:
      return "entry data lies outside the image";
    case ImageStatus::kBadDataCrc:
      return "entry data CRC does not match";
  }
  return "unknown image status";
}

ImageHeader PayloadImageView::Header() const {
  ImageHeader h{};
  if (size_ < kImageHeaderSize) return h;
  h.header_crc = LoadLE32(image_ + kHeaderCrcOffset);
  std::memcpy(h.signature, image_ + kSignatureOffset, sizeof h.signature);
  std::memcpy(h.reserved_1a, image_ + kReserved1aOffset, sizeof h.reserved_1a);
  h.dir_crc_length = LoadLE32(image_ + kDirCrcLengthOffset);
  h.dir_offset = LoadLE32(image_ + kDirOffsetOffset);
  h.dir_crc = LoadLE32(image_ + kDirCrcOffset);
  h.data_end = LoadLE32(image_ + kDataEndOffset);
  h.reserved_30 = LoadLE32(image_ + kReserved30Offset);
  return h;
}

ImageStatus PayloadImageView::CheckHeader() const {
  if (image_ == nullptr || size_ < kImageHeaderSize) return ImageStatus::kTooSmall;
  // The 21 signature characters and their NUL, as raw bytes.
  if (std::memcmp(image_ + kSignatureOffset, kImageSignature, kImageSignatureSize) != 0)
    return ImageStatus::kBadSignature;
  // The 48 bytes after the CRC word.
  const ImageHeader h = Header();
  if (CrcBlock(table_, image_ + kSignatureOffset, static_cast<std::uint32_t>(kHeaderCrcSpan), kPayloadSeed) !=
      h.header_crc)
    return ImageStatus::kBadHeaderCrc;
  // The directory CRC, once the span it covers is known to lie inside the
  // image.
  if (!SpanInside(h.dir_offset, h.dir_crc_length, size_)) return ImageStatus::kDirectoryOutOfImage;
  if (CrcBlock(table_, image_ + h.dir_offset, h.dir_crc_length, kPayloadSeed) != h.dir_crc)
    return ImageStatus::kBadDirectoryCrc;
  return ImageStatus::kOk;
}

ImageStatus PayloadImageView::ReadEntry(std::uint32_t offset, ImageEntry& entry, bool* at_end,
                                        std::uint32_t* next_offset) const {
  *at_end = false;
  // The end-of-directory word alone must fit; nothing after it is read.
  if (!SpanInside(offset, kDirectoryEndSize, size_)) return ImageStatus::kEntryOutOfImage;
  const std::uint32_t name_area_length = LoadLE32(image_ + offset + kEntryNameAreaLengthOffset);
  if (name_area_length == 0) {
    *at_end = true;
    return ImageStatus::kOk;
  }
  const std::uint64_t name_start = static_cast<std::uint64_t>(offset) + kImageEntryFixedSize;
  const std::uint64_t entry_end = name_start + name_area_length;
  // The next entry's offset must also be a 32-bit image offset.
  if (!SpanInside(name_start, name_area_length, size_) || entry_end > 0xFFFFFFFFu) return ImageStatus::kEntryOutOfImage;
  const std::uint8_t* p = image_ + offset;
  const char* name = reinterpret_cast<const char*>(image_ + name_start);
  if (std::memchr(name, 0, name_area_length) == nullptr) return ImageStatus::kEntryOutOfImage;
  entry.offset = offset;
  entry.name_area_length = name_area_length;
  entry.data_crc = LoadLE32(p + kEntryDataCrcOffset);
  entry.data_size = LoadLE32(p + kEntryDataSizeOffset);
  entry.data_offset = LoadLE32(p + kEntryDataOffsetOffset);
  entry.reserved_a = LoadLE32(p + kEntryReservedAOffset);
  entry.reserved_b = LoadLE32(p + kEntryReservedBOffset);
  entry.name = name;
  *next_offset = static_cast<std::uint32_t>(entry_end);
  return ImageStatus::kOk;
}

ImageStatus PayloadImageView::CheckEntryData(const ImageEntry& entry) const {
  if (image_ == nullptr || size_ < kImageHeaderSize) return ImageStatus::kTooSmall;
  // The bound against data_end without the 32-bit wrap-around: a sum past
  // 2^32 cannot end before data_end.
  const std::uint64_t data_stop = static_cast<std::uint64_t>(entry.data_offset) + entry.data_size;
  if (data_stop > Header().data_end) return ImageStatus::kDataBeyondEnd;
  if (!SpanInside(entry.data_offset, entry.data_size, size_)) return ImageStatus::kDataOutOfImage;
  // The data CRC.
  if (CrcBlock(table_, image_ + entry.data_offset, entry.data_size, kPayloadSeed) != entry.data_crc)
    return ImageStatus::kBadDataCrc;
  return ImageStatus::kOk;
}

}  // namespace sfx
