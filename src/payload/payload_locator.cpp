// Finding the EmbeddedPayload block in an installer's payload section, in
// the loaded image or in the file, and in the overlay of older installers.
// The PE headers and the section table are read through PeImage, which
// checks them against the file (or the image); the section's own bounds are
// checked here, with sums formed in 64 bits.
#include "payload/payload_locator.h"

#include <cstring>
#include <optional>

#include "payload/payload_format.h"
#include "payload/pe_image.h"

namespace sfx {

namespace {

// Checks "SFXPAYLD" and the block header in the `available` bytes at
// `start`, and that the announced stream fits them.
PayloadStatus ReadMarkedBlock(const std::uint8_t* start, std::uint64_t available, const std::uint8_t** block,
                              std::size_t* block_size) {
  const std::size_t marker_size = sizeof kPayloadMarker;
  const std::size_t compared = available < marker_size ? static_cast<std::size_t>(available) : marker_size;
  if (std::memcmp(start, kPayloadMarker, compared) != 0) return PayloadStatus::kBadMarker;
  if (available < marker_size) return PayloadStatus::kTruncated;
  EmbeddedPayload payload;
  const std::uint8_t* payload_block = start + marker_size;
  if (!ParseEmbeddedPayload(payload_block, static_cast<std::size_t>(available - marker_size), payload)) {
    return PayloadStatus::kTruncated;
  }
  *block = payload_block;
  *block_size = kEmbeddedHeaderSize + payload.packed_size;
  return PayloadStatus::kOk;
}

}  // namespace

const char* PayloadStatusText(PayloadStatus status) {
  switch (status) {
    case PayloadStatus::kOk:
      return "payload found";
    case PayloadStatus::kNotPe:
      return "not a PE executable";
    case PayloadStatus::kNoPayload:
      return "no payload section and no payload after the executable's sections";
    case PayloadStatus::kBadMarker:
      return "the payload section or the data after the executable's sections is not a payload";
    case PayloadStatus::kTruncated:
      return "payload is truncated";
  }
  return "unknown overlay status";
}

bool FindPeOverlayOffset(const std::uint8_t* file, std::size_t size, std::size_t* overlay_offset) {
  const std::optional<PeImage> image = PeImage::Parse(file, size);
  if (!image) return false;
  const std::uint64_t end = image->SectionDataEnd();
  if (end > size) return false;
  *overlay_offset = static_cast<std::size_t>(end);
  return true;
}

PayloadStatus FindInstallerPayload(const std::uint8_t* file, std::size_t size, const std::uint8_t** block,
                                   std::size_t* block_size, PayloadLayout* layout) {
  const std::optional<PeImage> image = PeImage::Parse(file, size);
  if (!image) return PayloadStatus::kNotPe;
  if (const std::optional<std::size_t> index = image->FindSection(kPayloadSectionName)) {
    if (layout != nullptr) *layout = PayloadLayout::kSection;
    const PeSection section = image->Section(*index);
    const std::uint64_t raw_pointer = section.raw_pointer;
    const std::uint64_t raw_size = section.raw_size;
    const std::uint64_t virtual_size = section.virtual_size;
    if (raw_pointer + raw_size > size) return PayloadStatus::kTruncated;
    // The raw data is padded to the file alignment; what the image holds
    // ends at VirtualSize (the loader zero-fills the rest of the section).
    const std::uint64_t available = virtual_size != 0 && virtual_size < raw_size ? virtual_size : raw_size;
    return ReadMarkedBlock(file + raw_pointer, available, block, block_size);
  }
  if (layout != nullptr) *layout = PayloadLayout::kOverlay;
  const std::uint64_t start = image->SectionDataEnd();
  if (start > size) return PayloadStatus::kTruncated;
  if (start == size) return PayloadStatus::kNoPayload;
  return ReadMarkedBlock(file + start, size - start, block, block_size);
}

PayloadStatus FindLoadedPayload(const std::uint8_t* image, std::size_t image_size, const std::uint8_t** block,
                                std::size_t* block_size) {
  const std::optional<PeImage> headers = PeImage::Parse(image, image_size);
  if (!headers) return PayloadStatus::kNotPe;
  const std::optional<std::size_t> index = headers->FindSection(kPayloadSectionName);
  if (!index) return PayloadStatus::kNoPayload;
  const PeSection section = headers->Section(*index);
  const std::uint64_t address = section.virtual_address;
  const std::uint64_t virtual_size = section.virtual_size;
  if (address + virtual_size > image_size) return PayloadStatus::kTruncated;
  return ReadMarkedBlock(image + address, virtual_size, block, block_size);
}

}  // namespace sfx
