// Locating the EmbeddedPayload block inside an installer.
//
// An installer is the stub's PE file with one more section, named ".sfxpay"
// (kPayloadSectionName), added by the packer as the last section: read-only
// initialised data that holds the 8 bytes "SFXPAYLD" (kPayloadMarker) and
// then the EmbeddedPayload block. The section's VirtualSize is exactly
// 8 + block size; its raw data is that, padded to the file alignment. The
// stub finds the block in its own loaded image (FindLoadedPayload); the
// packer's tools read it from the file (FindInstallerPayload).
//
// Installers of the earlier layout carry no such section: the marker and
// the block follow the end of the last section's raw data (the largest
// PointerToRawData + SizeOfRawData over the section table) as an overlay.
// FindInstallerPayload reads both. Bytes after the block or the section (a
// code-signing certificate appended later, for instance) are ignored.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sfx {

inline constexpr char kPayloadMarker[8] = {'S', 'F', 'X', 'P', 'A', 'Y', 'L', 'D'};
inline constexpr char kPayloadSectionName[8] = {'.', 's', 'f', 'x', 'p', 'a', 'y', '\0'};

enum class PayloadStatus {
  kOk,
  kNotPe,      // no MZ/PE headers that parse inside the file
  kNoPayload,  // no payload section, and (in a file) nothing after the sections
  kBadMarker,  // the payload section or the overlay does not start with "SFXPAYLD"
  kTruncated,  // header or announced stream does not fit the section or the file
};

// Where FindInstallerPayload found the block.
enum class PayloadLayout { kSection, kOverlay };

const char* PayloadStatusText(PayloadStatus status);

// Offset in the file where the last section's raw data ends (the start of
// an overlay); false when the PE headers do not parse inside `size`.
bool FindPeOverlayOffset(const std::uint8_t* file, std::size_t size, std::size_t* overlay_offset);

// Finds the EmbeddedPayload block of an installer file, in its payload
// section or, failing that, in an overlay. On kOk, `*block` and
// `*block_size` describe the block (header + stream, without the marker and
// without anything after the stream), and `*layout` (when not null) says
// which layout held it.
PayloadStatus FindInstallerPayload(const std::uint8_t* file, std::size_t size, const std::uint8_t** block,
                                   std::size_t* block_size, PayloadLayout* layout = nullptr);

// Finds the EmbeddedPayload block in a PE image as the system loader mapped
// it: `image` is the module base, `image_size` its SizeOfImage, and section
// contents lie at their VirtualAddress. Only the payload section counts.
// Every read stays below `image_size`.
PayloadStatus FindLoadedPayload(const std::uint8_t* image, std::size_t image_size, const std::uint8_t** block,
                                std::size_t* block_size);

}  // namespace sfx
