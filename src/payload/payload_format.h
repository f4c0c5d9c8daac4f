// The embedded payload block and the unpacked payload image.
//
// EmbeddedPayload: packed_size (P), unpacked_size (U), then P stream bytes.
// PayloadImage (U bytes): a 52-byte header, a directory of ImageEntry records
// ending in a 0 word, and file data; all integers little-endian u32, all
// offsets from the first byte of the image. Integrity rests on seeded CRCs:
// header, directory, then each entry's data right before it is written.
//
// Every accessor here keeps its reads inside the image: an image whose
// directory, names or data point outside its U bytes is a corrupt image.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/entry_names.h"
#include "format/stream_format.h"
#include "payload/crc32.h"

namespace sfx {

inline constexpr std::size_t kEmbeddedHeaderSize = 8;
// Where packed_size and unpacked_size lie in the EmbeddedPayload header.
inline constexpr std::size_t kPackedSizeOffset = 0;
inline constexpr std::size_t kUnpackedSizeOffset = 4;
inline constexpr std::size_t kImageHeaderSize = 52;
inline constexpr std::size_t kImageEntryFixedSize = 24;
// The 21 signature characters; the image stores them followed by one NUL.
inline constexpr char kImageSignature[] = "SFX-IMAGE-SIGNATURE-1";
inline constexpr std::size_t kImageSignatureSize = 22;  // with the NUL

// Where the fields of the image header (ImageHeader) lie, from the first
// byte of the image. The reader (PayloadImageView) and the writer (the
// packer's ImageBuilder) both use these.
inline constexpr std::size_t kHeaderCrcOffset = 0x00;
inline constexpr std::size_t kSignatureOffset = 0x04;
inline constexpr std::size_t kReserved1aOffset = 0x1A;
inline constexpr std::size_t kDirCrcLengthOffset = 0x20;
inline constexpr std::size_t kDirOffsetOffset = 0x24;
inline constexpr std::size_t kDirCrcOffset = 0x28;
inline constexpr std::size_t kDataEndOffset = 0x2C;
inline constexpr std::size_t kReserved30Offset = 0x30;
// header_crc covers the 48 header bytes after its own word.
inline constexpr std::size_t kHeaderCrcSpan = kImageHeaderSize - kSignatureOffset;

// Where the fields of a directory entry's fixed part (ImageEntry) lie, from
// the entry's first byte; the name area follows at kImageEntryFixedSize.
inline constexpr std::size_t kEntryNameAreaLengthOffset = 0;
inline constexpr std::size_t kEntryDataCrcOffset = 4;
inline constexpr std::size_t kEntryDataSizeOffset = 8;
inline constexpr std::size_t kEntryDataOffsetOffset = 12;
inline constexpr std::size_t kEntryReservedAOffset = 16;
inline constexpr std::size_t kEntryReservedBOffset = 20;
// The word that ends the directory: a name_area_length of 0, nothing after it.
inline constexpr std::size_t kDirectoryEndSize = 4;

// The 8-byte header of an EmbeddedPayload block and where its stream lies.
struct EmbeddedPayload {
  std::uint32_t packed_size = 0;         // P
  std::uint32_t unpacked_size = 0;       // U
  const std::uint8_t* stream = nullptr;  // P bytes, right after the header
};

// Reads the header of a block of `size` bytes at `block`. False when the
// 8-byte header or the P stream bytes it announces do not fit in `size`.
// Bytes after the stream are allowed and ignored.
bool ParseEmbeddedPayload(const std::uint8_t* block, std::size_t size, EmbeddedPayload& out);

// The most bytes one decoding step yields: a long match or a recent-distance
// match of the longest length with both distance bonuses (260). A repeat of
// the previous match repeats such a length; literals, short matches and
// multimedia deltas yield fewer, a table change none.
inline constexpr std::uint32_t kMaxStepOutput = kLongMatchBase + kMaxLengthValue + LongLengthBonus(kMaxDistance);
static_assert(kRecentMatchBase + kMaxLengthValue + RecentLengthBonus(kMaxDistance) <= kMaxStepOutput);
static_assert(kMaxStepOutput == 260);

// The most image bytes that P stream bytes can decode to, 2080 * P. Every
// decoding step starts at a bit position b with 78 <= b <= 8 * P: the tables
// at the stream's start take at least 78 bits (a 2-bit header and nineteen
// 4-bit lengths), and the decoder starts no step once it has read past the
// P bytes (a final partial word counts with the bytes it delivers). Each
// step consumes at least one bit (no code is shorter) and yields at most
// kMaxStepOutput bytes; the table read after the last step yields none.
// Hence at most 8 * P - 77 steps and fewer than 8 * P * kMaxStepOutput
// bytes, so no constant needs adding. A U above this cannot be produced by
// its stream: such a payload is refused before a buffer of U bytes exists.
std::uint64_t MaxUnpackedSize(std::uint32_t packed_size);

// True when U does not exceed MaxUnpackedSize(P).
bool UnpackedSizeFits(const EmbeddedPayload& payload);

// Fields of the 52-byte image header, in image order.
struct ImageHeader {
  std::uint32_t header_crc;
  std::uint8_t signature[22];
  std::uint8_t reserved_1a[6];
  std::uint32_t dir_crc_length;
  std::uint32_t dir_offset;
  std::uint32_t dir_crc;
  std::uint32_t data_end;
  std::uint32_t reserved_30;
};

// One directory entry as read from the image. `name` points into the image
// and is NUL-terminated within the entry's name area (checked by ReadEntry).
struct ImageEntry {
  std::uint32_t offset = 0;  // image offset of this entry
  std::uint32_t name_area_length = 0;
  std::uint32_t data_crc = 0;
  std::uint32_t data_size = 0;
  std::uint32_t data_offset = 0;
  std::uint32_t reserved_a = 0;
  std::uint32_t reserved_b = 0;
  const char* name = nullptr;
};

// Result of a check. Everything except kOk means "the image is corrupt";
// the distinctions serve diagnostics (sfxpack list/extract) and tests.
enum class ImageStatus {
  kOk,
  kTooSmall,             // U below the 52-byte header
  kBadSignature,         // the 22 bytes at kSignatureOffset differ from kImageSignature
  kBadHeaderCrc,         // header_crc does not match the kHeaderCrcSpan bytes it covers
  kDirectoryOutOfImage,  // dir_offset + dir_crc_length beyond U (or overflow)
  kBadDirectoryCrc,      // dir_crc does not match the dir_crc_length bytes at dir_offset
  kEntryOutOfImage,      // entry header or name area beyond U, or name without NUL
  kUnsafeName,           // the entry's name fails IsSafeEntryName
  kDeviceName,           // a component of the entry's name is a Windows device (HasDeviceNameComponent)
  kDataBeyondEnd,        // data_offset + data_size > data_end (or overflow)
  kDataOutOfImage,       // data inside data_end but beyond U
  kBadDataCrc,           // data_crc does not match the entry's data
};

// Short English description of a status, for tools.
const char* ImageStatusText(ImageStatus status);

// Read-only view of an unpacked image, walked in place.
class PayloadImageView {
 public:
  PayloadImageView(const std::uint8_t* image, std::size_t size, const CrcTable& table)
      : image_(image), size_(size), table_(table) {}

  // The header checks in order (signature, header CRC, directory CRC), after
  // the size guard. kOk means the directory may be walked.
  ImageStatus CheckHeader() const;

  // Decoded header fields; only meaningful when size() >= 52.
  ImageHeader Header() const;

  // Directory walk. Start with `offset` = Header().dir_offset. On kOk with
  // `*at_end` false, `entry` holds the entry at `offset` and `*next_offset`
  // where the following one starts; with `*at_end` true the directory ended
  // (a 0 word). Any other status: the entry does not fit in the image.
  ImageStatus ReadEntry(std::uint32_t offset, ImageEntry& entry, bool* at_end, std::uint32_t* next_offset) const;

  // The data checks of one entry, in order: its data bound against data_end,
  // then against the image, then its data CRC.
  ImageStatus CheckEntryData(const ImageEntry& entry) const;

  const std::uint8_t* data() const { return image_; }
  std::size_t size() const { return size_; }

 private:
  const std::uint8_t* image_;
  std::size_t size_;
  const CrcTable& table_;
};

}  // namespace sfx
