// The PE header reader. Parse checks once that the headers and the section
// table lie inside the bytes; every accessor after that reads only inside
// them (optional header fields also only inside the optional header). The
// manifest lookup reads the resource directory, and checks every read
// against the directory's bytes in the file.
#include "payload/pe_image.h"

#include <algorithm>
#include <cstring>

#include "common/byte_order.h"

namespace sfx {

namespace {

constexpr std::size_t kDosHeaderSize = 0x40;
constexpr std::size_t kLfanewOffset = 0x3C;  // e_lfanew: file offset of "PE\0\0"
constexpr std::size_t kPeSignatureSize = 4;  // the COFF header follows
constexpr std::size_t kCoffOptionalHeaderSizeOffset = 16;
constexpr std::size_t kOptionalHeaderFixedSize = 72;  // through DllCharacteristics
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kResourceDirectory = 2;
constexpr std::size_t kCertificateDirectory = 4;

// The resource directory: a tree of tables three levels deep (type, name,
// language) whose leaves are data entries. A table is a 16-byte header,
// with the counts of named and of id entries at 12 and 14, and then its
// 8-byte entries: a name (a string offset with the high bit set, or an id)
// and an offset from the directory's start (with the high bit set, of the
// next table; otherwise of a data entry: RVA, size, code page, reserved).
constexpr std::size_t kResourceTableHeaderSize = 16;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::size_t kResourceDataEntrySize = 16;
constexpr std::uint32_t kResourceHighBit = 0x80000000;
constexpr std::size_t kResourceLevels = 3;
constexpr std::uint32_t kManifestType = 24;  // RT_MANIFEST

// The bytes of a resource directory; every read is checked against them.
class ResourceTree {
 public:
  ResourceTree(const std::uint8_t* bytes, std::uint64_t size) : bytes_(bytes), size_(size) {}

  // The offset word of the entry with id `id`, or of the first entry when
  // `id` is nothing, in the table at `table`; nothing when the table does
  // not lie inside the directory or has no such entry.
  std::optional<std::uint32_t> Entry(std::uint64_t table, std::optional<std::uint32_t> id) const {
    if (table + kResourceTableHeaderSize > size_) return std::nullopt;
    const std::uint8_t* header = bytes_ + table;
    const std::uint64_t count = std::uint64_t{LoadLE16(header + 12)} + LoadLE16(header + 14);
    if (table + kResourceTableHeaderSize + count * kResourceEntrySize > size_) return std::nullopt;
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint8_t* entry = header + kResourceTableHeaderSize + i * kResourceEntrySize;
      if (!id || LoadLE32(entry) == *id) return LoadLE32(entry + 4);
    }
    return std::nullopt;
  }

  // The RVA and size of the data entry at `at`.
  std::optional<PeDirectoryEntry> DataEntry(std::uint64_t at) const {
    if (at + kResourceDataEntrySize > size_) return std::nullopt;
    PeDirectoryEntry entry;
    entry.address = LoadLE32(bytes_ + at);
    entry.size = LoadLE32(bytes_ + at + 4);
    return entry;
  }

 private:
  const std::uint8_t* bytes_;
  std::uint64_t size_;
};

}  // namespace

std::optional<PeImage> PeImage::Parse(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < kDosHeaderSize || data[0] != 'M' || data[1] != 'Z') return std::nullopt;
  const std::uint64_t pe = LoadLE32(data + kLfanewOffset);
  if (pe + kPeSignatureSize + kCoffHeaderSize > size) return std::nullopt;
  if (std::memcmp(data + pe, "PE\0\0", kPeSignatureSize) != 0) return std::nullopt;
  const std::uint8_t* coff = data + pe + kPeSignatureSize;
  const std::uint64_t optional_size = LoadLE16(coff + kCoffOptionalHeaderSizeOffset);
  const std::uint64_t count = LoadLE16(coff + kCoffSectionCountOffset);
  const std::uint64_t table = pe + kPeSignatureSize + kCoffHeaderSize + optional_size;
  if (table + count * kSectionHeaderSize > size) return std::nullopt;
  PeImage image;
  image.data_ = data;
  image.size_ = size;
  image.coff_ = static_cast<std::size_t>(pe + kPeSignatureSize);
  image.optional_size_ = static_cast<std::size_t>(optional_size);
  image.table_ = static_cast<std::size_t>(table);
  image.section_count_ = static_cast<std::size_t>(count);
  return image;
}

std::uint32_t PeImage::MappedImageSize(const std::uint8_t* base, std::size_t mapped) {
  if (mapped < kDosHeaderSize) return 0;
  const std::uint64_t optional = std::uint64_t{LoadLE32(base + kLfanewOffset)} + kPeSignatureSize + kCoffHeaderSize;
  if (optional + kOptionalHeaderFixedSize > mapped) return 0;
  return LoadLE32(base + optional + kSizeOfImageOffset);
}

std::uint16_t PeImage::machine() const { return LoadLE16(data_ + coff_); }

bool PeImage::has_optional_header() const {
  if (optional_size_ < kOptionalHeaderFixedSize) return false;
  const std::uint16_t magic = LoadLE16(data_ + optional_offset());
  return magic == kPe32Magic || magic == kPe32PlusMagic;
}

bool PeImage::is_pe32_plus() const {
  return optional_size_ >= 2 && LoadLE16(data_ + optional_offset()) == kPe32PlusMagic;
}

std::optional<std::uint32_t> PeImage::OptionalField(std::size_t offset) const {
  if (offset > optional_size_ || optional_size_ - offset < 4) return std::nullopt;
  return LoadLE32(data_ + optional_offset() + offset);
}

PeSection PeImage::Section(std::size_t index) const {
  PeSection section;
  if (index >= section_count_) return section;
  section.header_offset = table_ + index * kSectionHeaderSize;
  const std::uint8_t* header = data_ + section.header_offset;
  section.virtual_size = LoadLE32(header + kVirtualSizeOffset);
  section.virtual_address = LoadLE32(header + kVirtualAddressOffset);
  section.raw_size = LoadLE32(header + kSizeOfRawDataOffset);
  section.raw_pointer = LoadLE32(header + kPointerToRawDataOffset);
  return section;
}

std::optional<std::size_t> PeImage::FindSection(const char (&name)[kSectionNameSize]) const {
  for (std::size_t i = 0; i < section_count_; ++i) {
    if (std::memcmp(data_ + table_ + i * kSectionHeaderSize, name, kSectionNameSize) == 0) return i;
  }
  return std::nullopt;
}

std::uint64_t PeImage::SectionDataEnd() const {
  std::uint64_t end = section_table_end();
  for (std::size_t i = 0; i < section_count_; ++i) {
    const PeSection section = Section(i);
    if (section.raw_size == 0) continue;
    end = std::max(end, std::uint64_t{section.raw_pointer} + section.raw_size);
  }
  return end;
}

std::uint64_t PeImage::SectionVirtualEnd() const {
  std::uint64_t end = 0;
  for (std::size_t i = 0; i < section_count_; ++i) {
    const PeSection section = Section(i);
    end = std::max(end, std::uint64_t{section.virtual_address} + std::max(section.virtual_size, section.raw_size));
  }
  return end;
}

std::uint64_t PeImage::HeaderRoomEnd() const {
  std::uint64_t end = OptionalField(kSizeOfHeadersOffset).value_or(0);
  for (std::size_t i = 0; i < section_count_; ++i) {
    const PeSection section = Section(i);
    if (section.raw_size != 0) end = std::min<std::uint64_t>(end, section.raw_pointer);
  }
  return std::min(end, SectionDataEnd());
}

std::optional<PeDirectoryEntry> PeImage::DirectoryEntry(std::size_t index) const {
  // The directory count and the directories follow the fixed part, which is
  // 16 bytes longer in PE32+.
  const bool plus = is_pe32_plus();
  const std::size_t count_at = plus ? 108 : 92;
  const std::size_t entry_at = (plus ? 112 : 96) + index * 8;
  if (entry_at + 8 > optional_size_) return std::nullopt;
  if (LoadLE32(data_ + optional_offset() + count_at) <= index) return std::nullopt;
  PeDirectoryEntry entry;
  entry.offset = optional_offset() + entry_at;
  entry.address = LoadLE32(data_ + entry.offset);
  entry.size = LoadLE32(data_ + entry.offset + 4);
  return entry;
}

std::optional<PeDirectoryEntry> PeImage::CertificateEntry() const { return DirectoryEntry(kCertificateDirectory); }

std::optional<std::size_t> PeImage::RvaToFileOffset(std::uint32_t rva, std::uint32_t size) const {
  for (std::size_t i = 0; i < section_count_; ++i) {
    const PeSection section = Section(i);
    if (rva < section.virtual_address) continue;
    // Past VirtualSize the section holds nothing; past SizeOfRawData the
    // loader fills zeros that the file does not hold.
    const std::uint64_t held =
        section.virtual_size != 0 ? std::min(section.virtual_size, section.raw_size) : section.raw_size;
    const std::uint64_t into = rva - section.virtual_address;
    if (into + size > held) continue;
    const std::uint64_t offset = std::uint64_t{section.raw_pointer} + into;
    if (offset + size > size_) return std::nullopt;
    return static_cast<std::size_t>(offset);
  }
  return std::nullopt;
}

std::optional<PeSpan> PeImage::ManifestSpan() const {
  const std::optional<PeDirectoryEntry> resources = DirectoryEntry(kResourceDirectory);
  if (!resources) return std::nullopt;
  const std::optional<std::size_t> start = RvaToFileOffset(resources->address, resources->size);
  if (!start) return std::nullopt;
  const ResourceTree tree(data_ + *start, resources->size);
  // Type RT_MANIFEST, then its first name and that name's first language.
  // The first two levels must lead to tables and the last to a data entry:
  // the walk takes exactly three steps however the tables point (back up,
  // at themselves), so it cannot loop.
  std::uint64_t at = 0;
  for (std::size_t level = 0; level < kResourceLevels; ++level) {
    const std::optional<std::uint32_t> entry =
        tree.Entry(at, level == 0 ? std::optional<std::uint32_t>(kManifestType) : std::nullopt);
    if (!entry) return std::nullopt;
    const bool leads_to_table = (*entry & kResourceHighBit) != 0;
    if (leads_to_table != (level + 1 < kResourceLevels)) return std::nullopt;
    at = *entry & ~kResourceHighBit;
  }
  const std::optional<PeDirectoryEntry> data = tree.DataEntry(at);
  if (!data) return std::nullopt;
  const std::optional<std::size_t> offset = RvaToFileOffset(data->address, data->size);
  if (!offset) return std::nullopt;
  return PeSpan{*offset, data->size};
}

}  // namespace sfx
