// The few facts of the PE file format that the installer overlay reader
// (overlay.cpp) and the packer's installer writer rely on: where the PE
// headers start, the COFF header, and the section table. All fields are
// little-endian; offsets of header fields are from the start of their header.
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

inline constexpr std::size_t kSectionHeaderSize = 40;  // the section table follows the optional header
inline constexpr std::size_t kSizeOfRawDataOffset = 16;
inline constexpr std::size_t kPointerToRawDataOffset = 20;

}  // namespace sfx
