// Locating the EmbeddedPayload block inside an installer.
//
// An installer is the stub's PE file followed by an overlay that starts right
// after the end of the last section's raw data (the largest
// PointerToRawData + SizeOfRawData over the section table): the 8 bytes
// "SFXPAYLD", then the EmbeddedPayload block. Bytes after the block (a
// code-signing certificate appended later, for instance) are ignored.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sfx {

inline constexpr char kOverlayMarker[8] = {'S', 'F', 'X', 'P', 'A', 'Y', 'L', 'D'};

enum class OverlayStatus {
  kOk,
  kNotPe,      // no MZ/PE headers that parse inside the file
  kNoOverlay,  // the file ends where the sections end
  kBadMarker,  // overlay does not start with "SFXPAYLD"
  kTruncated,  // header or announced stream does not fit the file
};

const char* OverlayStatusText(OverlayStatus status);

// Offset in the file where the last section's raw data ends (the start of
// the overlay); false when the PE headers do not parse inside `size`.
bool FindPeOverlayOffset(const std::uint8_t* file, std::size_t size, std::size_t* overlay_offset);

// Finds the EmbeddedPayload block of an installer. On kOk, `*block` and
// `*block_size` describe the block (header + stream, without the marker and
// without anything after the stream).
OverlayStatus FindInstallerPayload(const std::uint8_t* file, std::size_t size, const std::uint8_t** block,
                                   std::size_t* block_size);

}  // namespace sfx
