// A bounds-checked reader of PE headers over bytes in memory: a PE file as
// it lies on disk, or an image as the system loader mapped it (then section
// contents lie at their VirtualAddress and only the first SizeOfImage bytes
// are readable). Portable: no Windows headers, every field little-endian.
//
// What it answers: the COFF header (machine, section count), the optional
// header's fields (only those that lie inside the optional header the COFF
// header announces), the section table, where the sections' raw data ends
// (the start of an overlay), the spare room for another section header, and
// the certificate-table entry, where an RVA lies in the file, and where the
// manifest resource lies in the file. Sums of 32-bit fields are formed in
// 64 bits, so they cannot wrap.
//
// The constants below are the layout the installer writer needs to change
// headers in place; offsets of fields are from the start of their header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace sfx {

inline constexpr std::size_t kCoffSectionCountOffset = 2;

// Optional header: the same offsets in PE32 (magic 0x10B) and PE32+ (0x20B)
// up to the checksum; only the data directories move.
inline constexpr std::size_t kSectionAlignmentOffset = 32;
inline constexpr std::size_t kFileAlignmentOffset = 36;
inline constexpr std::size_t kSizeOfImageOffset = 56;
inline constexpr std::size_t kSizeOfHeadersOffset = 60;
inline constexpr std::size_t kCheckSumOffset = 64;

inline constexpr std::size_t kSectionHeaderSize = 40;
inline constexpr std::size_t kSectionNameSize = 8;
inline constexpr std::size_t kVirtualSizeOffset = 8;
inline constexpr std::size_t kVirtualAddressOffset = 12;
inline constexpr std::size_t kSizeOfRawDataOffset = 16;
inline constexpr std::size_t kPointerToRawDataOffset = 20;
inline constexpr std::size_t kSectionCharacteristicsOffset = 36;

// IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ: read-only data.
inline constexpr std::uint32_t kReadOnlyDataCharacteristics = 0x40000040;

// One entry of the section table.
struct PeSection {
  std::size_t header_offset = 0;  // where the entry lies
  std::uint32_t virtual_size = 0;
  std::uint32_t virtual_address = 0;
  std::uint32_t raw_size = 0;
  std::uint32_t raw_pointer = 0;
};

// A run of bytes in the file.
struct PeSpan {
  std::size_t offset = 0;
  std::size_t size = 0;
};

// One data directory entry and where it lies.
struct PeDirectoryEntry {
  std::size_t offset = 0;
  std::uint32_t address = 0;
  std::uint32_t size = 0;
};

class PeImage {
 public:
  // The headers of the `size` bytes at `data`: "MZ", e_lfanew leading to
  // "PE\0\0", the COFF header and the whole section table inside `size`.
  // Nothing otherwise. The bytes must outlive the reader.
  static std::optional<PeImage> Parse(const std::uint8_t* data, std::size_t size);

  // SizeOfImage of a loaded image, read only from its first `mapped` bytes
  // (which must be readable); 0 when the optional header's fixed part does
  // not lie inside them.
  static std::uint32_t MappedImageSize(const std::uint8_t* base, std::size_t mapped);

  std::uint16_t machine() const;
  std::size_t coff_offset() const { return coff_; }
  std::size_t optional_offset() const { return coff_ + kCoffHeaderSize; }

  // True when the optional header is a PE32 or PE32+ header with at least
  // its fixed part (through DllCharacteristics): the fields above exist.
  bool has_optional_header() const;
  bool is_pe32_plus() const;
  // The 32-bit optional header field at `offset`, when the optional header
  // is long enough to hold it.
  std::optional<std::uint32_t> OptionalField(std::size_t offset) const;

  std::size_t section_count() const { return section_count_; }
  std::size_t section_table_offset() const { return table_; }
  std::size_t section_table_end() const { return table_ + section_count_ * kSectionHeaderSize; }
  PeSection Section(std::size_t index) const;
  // The index of the first section named `name` (8 bytes, zero-padded).
  std::optional<std::size_t> FindSection(const char (&name)[kSectionNameSize]) const;

  // Where the last section's raw data ends, never before the section table
  // (so the headers are not an overlay even without any section data). It
  // may lie past the end of the bytes read.
  std::uint64_t SectionDataEnd() const;
  // The highest VirtualAddress + max(VirtualSize, SizeOfRawData) of all
  // sections: the image size the sections need.
  std::uint64_t SectionVirtualEnd() const;
  // Where the spare room for section headers ends: SizeOfHeaders, the
  // first section's raw data or the end of all raw data, whichever comes
  // first. The room starts at section_table_end(). Needs
  // has_optional_header().
  std::uint64_t HeaderRoomEnd() const;

  // The certificate-table entry (data directory 4, whose address is a file
  // offset), or nothing when the optional header does not hold it.
  std::optional<PeDirectoryEntry> CertificateEntry() const;

  // The file offset of the `size` bytes at `rva` in a PE file as it lies on
  // disk: they must lie inside one section's raw data (not the zero fill
  // past it) and inside the bytes read. Nothing otherwise.
  std::optional<std::size_t> RvaToFileOffset(std::uint32_t rva, std::uint32_t size) const;

  // Where the manifest lies in a PE file as it lies on disk: the resource
  // directory (data directory 2) leads through type RT_MANIFEST, its first
  // name and its first language to the data entry, whose RVA and size give
  // the span. Nothing when there is no such resource, or when any step
  // leaves the resource directory, the sections' raw data or the bytes read,
  // or the directory does not nest exactly three levels deep.
  std::optional<PeSpan> ManifestSpan() const;

 private:
  static constexpr std::size_t kCoffHeaderSize = 20;

  PeImage() = default;

  // Data directory `index`, when the optional header holds it.
  std::optional<PeDirectoryEntry> DirectoryEntry(std::size_t index) const;

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t coff_ = 0;
  std::size_t optional_size_ = 0;
  std::size_t table_ = 0;
  std::size_t section_count_ = 0;
};

}  // namespace sfx
