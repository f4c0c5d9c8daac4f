// Synthetic PE files for the tests that locate, replace or carry a payload:
// one builder with the layout as options, and MakeFakePe, the small PE32
// that stands in for the stub.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/byte_order.h"

namespace sfx::test {

struct FakePeSection {
  std::uint32_t raw_pointer;
  std::uint32_t raw_size;
  const char* name = ".sect";
  std::uint32_t virtual_address = 0;
  std::uint32_t virtual_size = 0;
};

struct FakePeLayout {
  std::vector<FakePeSection> sections;
  std::size_t file_size = 0;         // headers and section data, before `trailing`
  std::uint32_t pe_offset = 0x40;    // where "PE\0\0" stands
  bool pe32_fields = true;           // machine flags, PE32 magic, alignments, 16 data directories
  std::uint32_t certificate_at = 0;  // != 0: certificate entry of 0x100 bytes at that offset
  std::uint8_t fill = 0;             // every byte past the section table
  bool pattern_sections = false;     // section raw data as (file offset * 7)
  std::size_t trailing = 0;          // bytes 0xA0, 0xA1, ... appended (an old overlay, a signature)
  const char* manifest = nullptr;    // != nullptr: a resource directory holding this text as the manifest
};

// The resource directory that `manifest` adds at the start of the first
// section (raw data and VirtualAddress), with data directory 2 pointing at
// it: one table per level, each with one id entry (type 24 = RT_MANIFEST,
// name 1, language 0x409) leading to the next, then the data entry and the
// text. Offsets from the directory's start.
inline constexpr std::uint32_t kFakeNameTable = 0x18;
inline constexpr std::uint32_t kFakeLanguageTable = 0x30;
inline constexpr std::uint32_t kFakeDataEntry = 0x48;
inline constexpr std::uint32_t kFakeManifestText = 0x58;

inline void WriteFakeManifest(std::vector<std::uint8_t>& pe, std::uint8_t* optional, const FakePeSection& section,
                              const char* manifest) {
  std::uint8_t* tree = &pe[section.raw_pointer];
  const auto size = static_cast<std::uint32_t>(std::strlen(manifest));
  std::memset(tree, 0, kFakeManifestText);
  const std::uint32_t tables[] = {0, kFakeNameTable, kFakeLanguageTable};
  const std::uint32_t ids[] = {24, 1, 0x409};
  const std::uint32_t next[] = {0x80000000 | kFakeNameTable, 0x80000000 | kFakeLanguageTable, kFakeDataEntry};
  for (int level = 0; level < 3; ++level) {
    tree[tables[level] + 14] = 1;  // id entries
    sfx::StoreLE32(tree + tables[level] + 16, ids[level]);
    sfx::StoreLE32(tree + tables[level] + 20, next[level]);
  }
  sfx::StoreLE32(tree + kFakeDataEntry, section.virtual_address + kFakeManifestText);
  sfx::StoreLE32(tree + kFakeDataEntry + 4, size);
  std::memcpy(tree + kFakeManifestText, manifest, size);
  sfx::StoreLE32(optional + 112, section.virtual_address);
  sfx::StoreLE32(optional + 116, kFakeManifestText + size);
}

// File offset of the section table: after "PE\0\0", the COFF header and a
// 224-byte optional header.
inline constexpr std::size_t FakePeSectionTable(std::uint32_t pe_offset) { return pe_offset + 24 + 0xE0; }

inline std::vector<std::uint8_t> BuildFakePe(const FakePeLayout& layout) {
  const std::size_t table = FakePeSectionTable(layout.pe_offset);
  std::vector<std::uint8_t> pe(layout.file_size, layout.fill);
  std::memset(pe.data(), 0, table + 40 * layout.sections.size());
  pe[0] = 'M', pe[1] = 'Z';
  sfx::StoreLE32(&pe[0x3C], layout.pe_offset);
  std::memcpy(&pe[layout.pe_offset], "PE\0\0", 4);
  std::uint8_t* coff = &pe[layout.pe_offset + 4];
  coff[0] = 0x4C, coff[1] = 0x01;  // i386
  coff[2] = static_cast<std::uint8_t>(layout.sections.size());
  coff[16] = 0xE0;  // optional header size
  std::uint8_t* optional = coff + 20;
  if (layout.pe32_fields) {
    coff[18] = 0x02, coff[19] = 0x01;        // executable, 32-bit
    optional[0] = 0x0B, optional[1] = 0x01;  // PE32
    sfx::StoreLE32(optional + 32, 0x1000);   // section alignment
    sfx::StoreLE32(optional + 36, 0x200);    // file alignment
    sfx::StoreLE32(optional + 56, 0x2000);   // size of image
    sfx::StoreLE32(optional + 60, 0x200);    // size of headers
    sfx::StoreLE32(optional + 92, 16);       // number of data directories
  }
  if (layout.certificate_at != 0) {
    sfx::StoreLE32(optional + 128, layout.certificate_at);
    sfx::StoreLE32(optional + 132, 0x100);
  }
  for (std::size_t i = 0; i < layout.sections.size(); ++i) {
    const FakePeSection& s = layout.sections[i];
    std::uint8_t* header = &pe[table + 40 * i];
    std::memcpy(header, s.name, std::strlen(s.name));
    sfx::StoreLE32(header + 8, s.virtual_size);
    sfx::StoreLE32(header + 12, s.virtual_address);
    sfx::StoreLE32(header + 16, s.raw_size);
    sfx::StoreLE32(header + 20, s.raw_pointer);
    if (!layout.pattern_sections) continue;
    for (std::size_t at = s.raw_pointer; at < s.raw_pointer + s.raw_size && at < pe.size(); ++at)
      pe[at] = static_cast<std::uint8_t>(at * 7);
  }
  if (layout.manifest != nullptr) WriteFakeManifest(pe, optional, layout.sections.front(), layout.manifest);
  for (std::size_t i = 0; i < layout.trailing; ++i) pe.push_back(static_cast<std::uint8_t>(0xA0 + i));
  return pe;
}

// A small but well-formed PE32 file: DOS header, "PE\0\0" at 0x40, a 224-byte
// optional header with 16 data directories, and one ".text" section whose
// raw data fills 0x200..0x3FF. `certificate_at` != 0 fills the certificate
// table entry with that file offset and 0x100 bytes. `trailing` bytes are
// appended after the section data (an old overlay or a signature). A
// `manifest` lies at kFakePeManifestAt, in a resource directory at 0x200.
inline constexpr std::size_t kFakePeSectionsEnd = 0x400;
inline constexpr std::size_t kFakePeManifestAt = 0x200 + kFakeManifestText;
inline std::vector<std::uint8_t> MakeFakePe(std::size_t trailing = 0, std::uint32_t certificate_at = 0,
                                            const char* manifest = nullptr) {
  return BuildFakePe({.sections = {{0x200, 0x200, ".text", 0x1000, 0x200}},
                      .file_size = kFakePeSectionsEnd,
                      .certificate_at = certificate_at,
                      .pattern_sections = true,
                      .trailing = trailing,
                      .manifest = manifest});
}

}  // namespace sfx::test
