// Test-only reader of a Windows PE file held in memory: headers, sections,
// imported DLL names and resources by type, id and language. It reads PE32
// (32-bit) and PE32+ (64-bit) files on any host, without Windows headers.
// Every read is bounds-checked; a malformed file throws std::runtime_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sfx::test {

// A parsed PE file.
class PeFile {
 public:
  // One entry of the section table.
  struct Section {
    std::string name;
    std::uint32_t virtual_address = 0;
    std::uint32_t virtual_size = 0;
    std::uint32_t raw_offset = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t characteristics = 0;
  };

  explicit PeFile(std::vector<std::uint8_t> bytes);

  bool is_pe32_plus() const { return pe32_plus_; }
  std::uint16_t machine() const { return machine_; }
  std::uint16_t characteristics() const { return characteristics_; }
  std::uint16_t subsystem() const { return subsystem_; }
  std::uint16_t dll_characteristics() const { return dll_characteristics_; }
  std::uint32_t time_date_stamp() const { return time_date_stamp_; }
  std::uint32_t checksum() const { return checksum_; }
  std::uint32_t file_alignment() const { return file_alignment_; }
  std::uint32_t section_alignment() const { return section_alignment_; }
  std::uint32_t size_of_image() const { return size_of_image_; }
  const std::vector<Section>& sections() const { return sections_; }
  std::size_t size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  // Address and size of data directory `index` (0 when absent).
  std::uint32_t DirectoryAddress(int index) const;
  std::uint32_t DirectorySize(int index) const;

  // Lower-case names of the imported DLLs, in table order.
  std::vector<std::string> ImportedLibraries() const;

  // The data of resource type/id/language given by numbers; empty when the
  // resource does not exist.
  std::vector<std::uint8_t> Resource(std::uint32_t type, std::uint32_t id, std::uint32_t language) const;

  // The data of the first resource of type/id, whatever its language.
  std::vector<std::uint8_t> Resource(std::uint32_t type, std::uint32_t id) const;

 private:
  std::uint16_t U16(std::size_t at) const;
  std::uint32_t U32(std::size_t at) const;
  std::size_t OffsetOf(std::uint32_t rva) const;
  // The value of entry `id` (or of the first entry, with `any_id`) of the
  // resource directory at `directory` (an offset into the resource data).
  bool FindResourceEntry(std::uint32_t directory, std::uint32_t id, bool any_id, std::uint32_t* entry_value) const;

  std::vector<std::uint8_t> bytes_;
  bool pe32_plus_ = false;
  std::uint16_t machine_ = 0;
  std::uint16_t characteristics_ = 0;
  std::uint16_t subsystem_ = 0;
  std::uint16_t dll_characteristics_ = 0;
  std::uint32_t time_date_stamp_ = 0;
  std::uint32_t checksum_ = 0;
  std::uint32_t file_alignment_ = 0;
  std::uint32_t section_alignment_ = 0;
  std::uint32_t size_of_image_ = 0;
  std::size_t directories_ = 0;  // file offset of the data directories
  std::uint32_t directory_count_ = 0;
  std::vector<Section> sections_;
};

}  // namespace sfx::test
