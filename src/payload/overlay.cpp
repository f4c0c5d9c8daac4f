// Finding the EmbeddedPayload block in an installer's payload section, in
// the loaded image or in the file, and in the overlay of older installers.
//
// Only as much of the PE format is read as needed: the "MZ" header's
// e_lfanew (at 0x3C) leads to "PE\0\0", the 20-byte COFF header gives the
// number of sections and the optional header's size, and the 40-byte
// section headers that follow give each section's name, VirtualSize,
// VirtualAddress, PointerToRawData and SizeOfRawData. Every field is
// bounds-checked against the file (or the image) before it is read; sums
// are formed in 64 bits, so 32-bit fields cannot wrap them.
#include "payload/overlay.h"

#include <cstring>

#include "common/byte_order.h"
#include "payload/payload_format.h"
#include "payload/pe_layout.h"

namespace sfx {

namespace {

// Where the section table lies (offsets from the start of the data).
struct SectionTable {
  std::uint64_t at = 0;
  std::uint64_t count = 0;
};

// Reads the DOS, PE and COFF headers; false when they or the section table
// do not lie inside `size`.
bool ReadSectionTable(const std::uint8_t* data, std::size_t size, SectionTable* table) {
  if (data == nullptr || size < kDosHeaderSize || data[0] != 'M' || data[1] != 'Z') return false;
  const std::uint64_t pe = LoadLE32(data + kLfanewOffset);
  if (pe + kPeSignatureSize + kCoffHeaderSize > size) return false;
  if (std::memcmp(data + pe, "PE\0\0", kPeSignatureSize) != 0) return false;
  const std::uint8_t* coff = data + pe + kPeSignatureSize;
  table->count = LoadLE16(coff + kCoffSectionCountOffset);
  table->at = pe + kPeSignatureSize + kCoffHeaderSize + LoadLE16(coff + kCoffOptionalHeaderSizeOffset);
  return table->at + table->count * kSectionHeaderSize <= size;
}

// The header of the section named kPayloadSectionName, or null.
const std::uint8_t* FindPayloadSectionHeader(const std::uint8_t* data, const SectionTable& table) {
  for (std::uint64_t i = 0; i < table.count; ++i) {
    const std::uint8_t* section = data + table.at + i * kSectionHeaderSize;
    if (std::memcmp(section, kPayloadSectionName, kSectionNameSize) == 0) return section;
  }
  return nullptr;
}

// Checks "SFXPAYLD" and the block header in the `available` bytes at
// `start`, and that the announced stream fits them.
OverlayStatus ReadMarkedBlock(const std::uint8_t* start, std::uint64_t available, const std::uint8_t** block,
                              std::size_t* block_size) {
  const std::size_t marker_size = sizeof kOverlayMarker;
  const std::size_t compared = available < marker_size ? static_cast<std::size_t>(available) : marker_size;
  if (std::memcmp(start, kOverlayMarker, compared) != 0) return OverlayStatus::kBadMarker;
  if (available < marker_size) return OverlayStatus::kTruncated;
  EmbeddedPayload payload;
  const std::uint8_t* payload_block = start + marker_size;
  if (!ParseEmbeddedPayload(payload_block, static_cast<std::size_t>(available - marker_size), payload)) {
    return OverlayStatus::kTruncated;
  }
  *block = payload_block;
  *block_size = kEmbeddedHeaderSize + payload.packed_size;
  return OverlayStatus::kOk;
}

// The end of the last section's raw data; never before the section table,
// so the headers are not part of an overlay even in the odd file without
// any section raw data.
std::uint64_t SectionDataEnd(const std::uint8_t* data, const SectionTable& table) {
  std::uint64_t end = table.at + table.count * kSectionHeaderSize;
  for (std::uint64_t i = 0; i < table.count; ++i) {
    const std::uint8_t* section = data + table.at + i * kSectionHeaderSize;
    const std::uint64_t raw_size = LoadLE32(section + kSizeOfRawDataOffset);
    const std::uint64_t raw_pointer = LoadLE32(section + kPointerToRawDataOffset);
    if (raw_size == 0) continue;
    if (raw_pointer + raw_size > end) end = raw_pointer + raw_size;
  }
  return end;
}

}  // namespace

const char* OverlayStatusText(OverlayStatus status) {
  switch (status) {
    case OverlayStatus::kOk:
      return "payload found";
    case OverlayStatus::kNotPe:
      return "not a PE executable";
    case OverlayStatus::kNoOverlay:
      return "no payload section and no payload after the executable's sections";
    case OverlayStatus::kBadMarker:
      return "the payload section or the data after the executable's sections is not a payload";
    case OverlayStatus::kTruncated:
      return "payload is truncated";
  }
  return "unknown overlay status";
}

bool FindPeOverlayOffset(const std::uint8_t* file, std::size_t size, std::size_t* overlay_offset) {
  SectionTable table;
  if (!ReadSectionTable(file, size, &table)) return false;
  const std::uint64_t end = SectionDataEnd(file, table);
  if (end > size) return false;
  *overlay_offset = static_cast<std::size_t>(end);
  return true;
}

OverlayStatus FindInstallerPayload(const std::uint8_t* file, std::size_t size, const std::uint8_t** block,
                                   std::size_t* block_size, PayloadLayout* layout) {
  SectionTable table;
  if (!ReadSectionTable(file, size, &table)) return OverlayStatus::kNotPe;
  if (const std::uint8_t* section = FindPayloadSectionHeader(file, table)) {
    if (layout != nullptr) *layout = PayloadLayout::kSection;
    const std::uint64_t raw_pointer = LoadLE32(section + kPointerToRawDataOffset);
    const std::uint64_t raw_size = LoadLE32(section + kSizeOfRawDataOffset);
    const std::uint64_t virtual_size = LoadLE32(section + kVirtualSizeOffset);
    if (raw_pointer + raw_size > size) return OverlayStatus::kTruncated;
    // The raw data is padded to the file alignment; what the image holds
    // ends at VirtualSize (the loader zero-fills the rest of the section).
    const std::uint64_t available = virtual_size != 0 && virtual_size < raw_size ? virtual_size : raw_size;
    return ReadMarkedBlock(file + raw_pointer, available, block, block_size);
  }
  if (layout != nullptr) *layout = PayloadLayout::kOverlay;
  const std::uint64_t start = SectionDataEnd(file, table);
  if (start > size) return OverlayStatus::kTruncated;
  if (start == size) return OverlayStatus::kNoOverlay;
  return ReadMarkedBlock(file + start, size - start, block, block_size);
}

OverlayStatus FindLoadedPayload(const std::uint8_t* image, std::size_t image_size, const std::uint8_t** block,
                                std::size_t* block_size) {
  SectionTable table;
  if (!ReadSectionTable(image, image_size, &table)) return OverlayStatus::kNotPe;
  const std::uint8_t* section = FindPayloadSectionHeader(image, table);
  if (section == nullptr) return OverlayStatus::kNoOverlay;
  const std::uint64_t address = LoadLE32(section + kVirtualAddressOffset);
  const std::uint64_t virtual_size = LoadLE32(section + kVirtualSizeOffset);
  if (address + virtual_size > image_size) return OverlayStatus::kTruncated;
  return ReadMarkedBlock(image + address, virtual_size, block, block_size);
}

}  // namespace sfx
