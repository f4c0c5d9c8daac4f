// The few facts of the PE file format that the payload finder (overlay.cpp),
// the packer's installer writer and the stub's own-image lookup rely on:
// where the PE headers start, the COFF header, the optional header fields
// that describe the image's size and alignment, and the section table. All
// fields are little-endian; offsets of header fields are from the start of
// their header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sfx {

inline constexpr std::size_t kDosHeaderSize = 0x40;
inline constexpr std::size_t kLfanewOffset = 0x3C;  // e_lfanew: file offset of "PE\0\0"
inline constexpr std::size_t kPeSignatureSize = 4;  // "PE\0\0"; the COFF header follows

inline constexpr std::size_t kCoffHeaderSize = 20;  // the optional header follows
inline constexpr std::size_t kCoffSectionCountOffset = 2;
inline constexpr std::size_t kCoffOptionalHeaderSizeOffset = 16;

// Optional header: the same offsets in PE32 (magic 0x10B) and PE32+ (0x20B)
// up to the checksum; only the data directories move.
inline constexpr std::uint16_t kPe32Magic = 0x10B;
inline constexpr std::uint16_t kPe32PlusMagic = 0x20B;
inline constexpr std::size_t kSectionAlignmentOffset = 32;
inline constexpr std::size_t kFileAlignmentOffset = 36;
inline constexpr std::size_t kSizeOfImageOffset = 56;
inline constexpr std::size_t kSizeOfHeadersOffset = 60;
inline constexpr std::size_t kCheckSumOffset = 64;
inline constexpr std::size_t kOptionalHeaderFixedSize = 72;  // through DllCharacteristics

inline constexpr std::size_t kSectionHeaderSize = 40;  // the section table follows the optional header
inline constexpr std::size_t kSectionNameSize = 8;
inline constexpr std::size_t kVirtualSizeOffset = 8;
inline constexpr std::size_t kVirtualAddressOffset = 12;
inline constexpr std::size_t kSizeOfRawDataOffset = 16;
inline constexpr std::size_t kPointerToRawDataOffset = 20;
inline constexpr std::size_t kSectionCharacteristicsOffset = 36;

// IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ: read-only data.
inline constexpr std::uint32_t kReadOnlyDataCharacteristics = 0x40000040;

}  // namespace sfx
