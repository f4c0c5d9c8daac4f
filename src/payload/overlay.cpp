// Finding the EmbeddedPayload block that follows the stub's PE image.
//
// Only as much of the PE format is read as needed to find where the section
// data ends: the "MZ" header's e_lfanew (at 0x3C) leads to "PE\0\0", the
// 20-byte COFF header gives the number of sections and the optional header's
// size, and the 40-byte section headers that follow give each section's
// PointerToRawData and SizeOfRawData. The overlay starts at the largest
// PointerToRawData + SizeOfRawData over sections that have raw data. Every
// field is bounds-checked against the file before it is read.
#include "payload/overlay.h"

#include <cstring>

#include "common/byte_order.h"
#include "payload/payload_format.h"
#include "payload/pe_layout.h"

namespace sfx {

namespace {

enum class PeResult { kOk, kNotPe, kSectionsPastEnd };

// Computes the overlay start. kSectionsPastEnd: the headers parse but some
// section's raw data runs past the end of the file.
PeResult LocateOverlay(const std::uint8_t* file, std::size_t size, std::uint64_t* overlay) {
  if (file == nullptr || size < kDosHeaderSize || file[0] != 'M' || file[1] != 'Z') return PeResult::kNotPe;
  const std::uint64_t pe = LoadLE32(file + kLfanewOffset);
  if (pe + kPeSignatureSize + kCoffHeaderSize > size) return PeResult::kNotPe;
  if (std::memcmp(file + pe, "PE\0\0", kPeSignatureSize) != 0) return PeResult::kNotPe;
  const std::uint8_t* coff = file + pe + kPeSignatureSize;
  const std::uint64_t section_count = LoadLE16(coff + kCoffSectionCountOffset);
  const std::uint64_t optional_size = LoadLE16(coff + kCoffOptionalHeaderSizeOffset);
  const std::uint64_t table = pe + kPeSignatureSize + kCoffHeaderSize + optional_size;
  const std::uint64_t table_end = table + section_count * kSectionHeaderSize;
  if (table_end > size) return PeResult::kNotPe;
  // The headers themselves are never part of the overlay, even in the odd
  // file without any section raw data.
  std::uint64_t end = table_end;
  for (std::uint64_t i = 0; i < section_count; ++i) {
    const std::uint8_t* section = file + table + i * kSectionHeaderSize;
    const std::uint64_t raw_size = LoadLE32(section + kSizeOfRawDataOffset);
    const std::uint64_t raw_pointer = LoadLE32(section + kPointerToRawDataOffset);
    if (raw_size == 0) continue;
    if (raw_pointer + raw_size > end) end = raw_pointer + raw_size;
  }
  *overlay = end;
  return end > size ? PeResult::kSectionsPastEnd : PeResult::kOk;
}

}  // namespace

const char* OverlayStatusText(OverlayStatus status) {
  switch (status) {
    case OverlayStatus::kOk:
      return "payload found";
    case OverlayStatus::kNotPe:
      return "not a PE executable";
    case OverlayStatus::kNoOverlay:
      return "no payload after the executable's sections";
    case OverlayStatus::kBadMarker:
      return "data after the executable's sections is not a payload";
    case OverlayStatus::kTruncated:
      return "payload is truncated";
  }
  return "unknown overlay status";
}

bool FindPeOverlayOffset(const std::uint8_t* file, std::size_t size, std::size_t* overlay_offset) {
  std::uint64_t overlay = 0;
  if (LocateOverlay(file, size, &overlay) != PeResult::kOk) return false;
  *overlay_offset = static_cast<std::size_t>(overlay);
  return true;
}

OverlayStatus FindInstallerPayload(const std::uint8_t* file, std::size_t size, const std::uint8_t** block,
                                   std::size_t* block_size) {
  std::uint64_t overlay = 0;
  switch (LocateOverlay(file, size, &overlay)) {
    case PeResult::kNotPe:
      return OverlayStatus::kNotPe;
    case PeResult::kSectionsPastEnd:
      return OverlayStatus::kTruncated;
    case PeResult::kOk:
      break;
  }
  const std::size_t start = static_cast<std::size_t>(overlay);
  const std::size_t rest = size - start;
  if (rest == 0) return OverlayStatus::kNoOverlay;
  const std::size_t marker_size = sizeof kOverlayMarker;
  const std::size_t compared = rest < marker_size ? rest : marker_size;
  if (std::memcmp(file + start, kOverlayMarker, compared) != 0) return OverlayStatus::kBadMarker;
  if (rest < marker_size) return OverlayStatus::kTruncated;
  EmbeddedPayload payload;
  const std::uint8_t* payload_block = file + start + marker_size;
  if (!ParseEmbeddedPayload(payload_block, rest - marker_size, payload)) return OverlayStatus::kTruncated;
  *block = payload_block;
  *block_size = kEmbeddedHeaderSize + payload.packed_size;
  return OverlayStatus::kOk;
}

}  // namespace sfx
