// Test-only PE reader: see pe_file.h.
#include "support/pe_file.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace sfx::test {

namespace {

constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kImportDirectory = 1;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kAnyLanguage = 0xFFFFFFFFu;

}  // namespace

PeFile::PeFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {
  if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z') throw std::runtime_error("no MZ header");
  const std::size_t pe = U32(0x3C);
  if (U32(pe) != 0x00004550u) throw std::runtime_error("no PE signature");
  const std::size_t file_header = pe + 4;
  machine_ = U16(file_header);
  time_date_stamp_ = U32(file_header + 4);
  const std::size_t section_count = U16(file_header + 2);
  const std::size_t optional_size = U16(file_header + 16);
  characteristics_ = U16(file_header + 18);
  const std::size_t optional = file_header + 20;
  const std::uint16_t magic = U16(optional);
  if (magic != 0x10B && magic != 0x20B) throw std::runtime_error("unknown optional header magic");
  pe32_plus_ = magic == 0x20B;
  section_alignment_ = U32(optional + 32);
  file_alignment_ = U32(optional + 36);
  size_of_image_ = U32(optional + 56);
  checksum_ = U32(optional + 64);
  subsystem_ = U16(optional + 68);
  dll_characteristics_ = U16(optional + 70);
  directory_count_ = U32(optional + (pe32_plus_ ? 108 : 92));
  directories_ = optional + (pe32_plus_ ? 112 : 96);
  const std::size_t table = optional + optional_size;
  for (std::size_t i = 0; i < section_count; ++i) {
    const std::size_t at = table + 40 * i;
    Section section;
    for (std::size_t k = 0; k < 8 && bytes_.at(at + k) != 0; ++k)
      section.name.push_back(static_cast<char>(bytes_[at + k]));
    section.virtual_size = U32(at + 8);
    section.virtual_address = U32(at + 12);
    section.raw_size = U32(at + 16);
    section.raw_offset = U32(at + 20);
    section.characteristics = U32(at + 36);
    sections_.push_back(section);
  }
}

std::uint16_t PeFile::U16(std::size_t at) const {
  if (at + 2 > bytes_.size()) throw std::runtime_error("read past the end of the file");
  return static_cast<std::uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
}

std::uint32_t PeFile::U32(std::size_t at) const { return U16(at) | static_cast<std::uint32_t>(U16(at + 2)) << 16; }

std::uint32_t PeFile::DirectoryAddress(int index) const {
  return static_cast<std::uint32_t>(index) < directory_count_ ? U32(directories_ + 8 * index) : 0;
}

std::uint32_t PeFile::DirectorySize(int index) const {
  return static_cast<std::uint32_t>(index) < directory_count_ ? U32(directories_ + 8 * index + 4) : 0;
}

std::size_t PeFile::OffsetOf(std::uint32_t rva) const {
  for (const auto& section : sections_) {
    if (rva >= section.virtual_address && rva - section.virtual_address < section.raw_size) {
      return section.raw_offset + (rva - section.virtual_address);
    }
  }
  throw std::runtime_error("address outside the sections' file data");
}

std::vector<std::string> PeFile::ImportedLibraries() const {
  std::vector<std::string> names;
  const std::uint32_t address = DirectoryAddress(kImportDirectory);
  if (address == 0) return names;
  for (std::size_t at = OffsetOf(address);; at += 20) {
    const std::uint32_t name_rva = U32(at + 12);
    if (name_rva == 0) break;
    std::string name;
    for (std::size_t k = OffsetOf(name_rva); bytes_.at(k) != 0; ++k) {
      name.push_back(static_cast<char>(std::tolower(bytes_[k])));
    }
    names.push_back(name);
  }
  return names;
}

bool PeFile::FindResourceEntry(std::uint32_t directory, std::uint32_t id, bool any_id,
                               std::uint32_t* entry_value) const {
  const std::size_t base = OffsetOf(DirectoryAddress(kResourceDirectory));
  const std::size_t at = base + directory;
  const std::size_t named = U16(at + 12);
  const std::size_t numbered = U16(at + 14);
  for (std::size_t i = named; i < named + numbered; ++i) {
    const std::size_t entry = at + 16 + 8 * i;
    if (any_id || U32(entry) == id) {
      *entry_value = U32(entry + 4);
      return true;
    }
  }
  return false;
}

std::vector<std::uint8_t> PeFile::Resource(std::uint32_t type, std::uint32_t id, std::uint32_t language) const {
  if (DirectoryAddress(kResourceDirectory) == 0) return {};
  // Three directory levels: type, id, language. The first two lead to
  // sub-directories, the last one to a data entry (address and size).
  std::uint32_t type_value = 0, id_value = 0, language_value = 0;
  if (!FindResourceEntry(0, type, false, &type_value) || (type_value & kSubdirectoryBit) == 0) return {};
  if (!FindResourceEntry(type_value & ~kSubdirectoryBit, id, false, &id_value) || (id_value & kSubdirectoryBit) == 0) {
    return {};
  }
  if (!FindResourceEntry(id_value & ~kSubdirectoryBit, language, language == kAnyLanguage, &language_value) ||
      (language_value & kSubdirectoryBit) != 0) {
    return {};
  }
  const std::size_t entry = OffsetOf(DirectoryAddress(kResourceDirectory)) + language_value;
  const std::size_t data = OffsetOf(U32(entry));
  const std::size_t size = U32(entry + 4);
  if (data + size > bytes_.size()) throw std::runtime_error("resource data past the end of the file");
  return {bytes_.begin() + static_cast<std::ptrdiff_t>(data),
          bytes_.begin() + static_cast<std::ptrdiff_t>(data + size)};
}

std::vector<std::uint8_t> PeFile::Resource(std::uint32_t type, std::uint32_t id) const {
  return Resource(type, id, kAnyLanguage);
}

}  // namespace sfx::test
