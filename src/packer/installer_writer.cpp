// Installer assembly and its inverse. Besides the section table, the PE
// fields used here are the optional header's SectionAlignment,
// FileAlignment, SizeOfImage, SizeOfHeaders and CheckSum (pe_layout.h), and
// data directory 4, the certificate table, whose "address" is a file
// offset. It sits at optional header + 128 in PE32 (magic 0x10B) and at
// + 144 in PE32+ (magic 0x20B); it exists only when NumberOfRvaAndSizes > 4
// and the optional header is long enough to hold it.
//
// Every offset is checked against the file before it is read or written;
// sums of 32-bit fields are formed in 64 bits.
#include "packer/installer_writer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/byte_order.h"
#include "packer/pack_error.h"
#include "payload/overlay.h"
#include "payload/pe_layout.h"

namespace sfx {

namespace {

constexpr std::size_t kCertificateDirectory = 4;
constexpr std::uint64_t kMaxImageSize = 0xFFFFFFFFu;
// The largest file alignment a loadable PE image has.
constexpr std::uint32_t kMaxFileAlignment = 0x10000;

// The requestedExecutionLevel element as stub.manifest holds it, and the
// text after the level that every form shares.
constexpr char kDefaultLevelElement[] = R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)";
constexpr std::size_t kLevelElementSize = sizeof kDefaultLevelElement - 1;

// Where the headers of a PE file lie.
struct PeHeaders {
  std::uint64_t coff = 0;
  std::uint64_t optional = 0;
  std::uint64_t optional_size = 0;
  std::uint64_t table = 0;  // the section table
  std::uint64_t section_count = 0;
  bool pe32_plus = false;
};

// Parses the headers; false when they, the optional header's fixed part or
// the section table do not lie inside the file.
bool ReadHeaders(const std::vector<std::uint8_t>& file, PeHeaders* headers) {
  if (file.size() < kDosHeaderSize || file[0] != 'M' || file[1] != 'Z') return false;
  const std::uint64_t pe = LoadLE32(file.data() + kLfanewOffset);
  if (pe + kPeSignatureSize + kCoffHeaderSize > file.size()) return false;
  if (std::memcmp(file.data() + pe, "PE\0\0", kPeSignatureSize) != 0) return false;
  headers->coff = pe + kPeSignatureSize;
  headers->optional = headers->coff + kCoffHeaderSize;
  headers->optional_size = LoadLE16(file.data() + headers->coff + kCoffOptionalHeaderSizeOffset);
  headers->section_count = LoadLE16(file.data() + headers->coff + kCoffSectionCountOffset);
  headers->table = headers->optional + headers->optional_size;
  if (headers->optional_size < kOptionalHeaderFixedSize) return false;
  if (headers->table + headers->section_count * kSectionHeaderSize > file.size()) return false;
  const std::uint16_t magic = LoadLE16(file.data() + headers->optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return false;
  headers->pe32_plus = magic == kPe32PlusMagic;
  return true;
}

std::uint32_t OptionalField(const std::vector<std::uint8_t>& file, const PeHeaders& headers, std::size_t offset) {
  return LoadLE32(file.data() + headers.optional + offset);
}

void SetOptionalField(std::vector<std::uint8_t>& file, const PeHeaders& headers, std::size_t offset,
                      std::uint32_t value) {
  StoreLE32(file.data() + headers.optional + offset, value);
}

void SetSectionCount(std::vector<std::uint8_t>& file, const PeHeaders& headers, std::uint64_t count) {
  file[headers.coff + kCoffSectionCountOffset] = static_cast<std::uint8_t>(count);
  file[headers.coff + kCoffSectionCountOffset + 1] = static_cast<std::uint8_t>(count >> 8);
}

// The file offset of the certificate-table entry, or 0 when the file has none.
std::uint64_t CertificateEntryOffset(const std::vector<std::uint8_t>& file, const PeHeaders& headers) {
  const std::uint64_t count_at = headers.pe32_plus ? 108 : 92;
  const std::uint64_t entry_at = (headers.pe32_plus ? 112 : 96) + kCertificateDirectory * 8;
  if (entry_at + 8 > headers.optional_size) return 0;
  if (LoadLE32(file.data() + headers.optional + count_at) <= kCertificateDirectory) return 0;
  return headers.optional + entry_at;
}

// Zeroes the certificate-table entry when it points at or past `end`.
// Returns true when it did.
bool ClearCertificateEntryFrom(std::vector<std::uint8_t>& file, const PeHeaders& headers, std::uint64_t end) {
  const std::uint64_t entry = CertificateEntryOffset(file, headers);
  if (entry == 0) return false;
  const std::uint32_t address = LoadLE32(file.data() + entry);
  const std::uint32_t size = LoadLE32(file.data() + entry + 4);
  if ((address == 0 && size == 0) || address < end) return false;
  StoreLE32(file.data() + entry, 0);
  StoreLE32(file.data() + entry + 4, 0);
  return true;
}

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// The element for `level`, padded with spaces before "/>" to the length of
// the default form.
std::string LevelElement(ExecutionLevel level) {
  const char* name = level == ExecutionLevel::kRequireAdministrator ? "requireAdministrator"
                     : level == ExecutionLevel::kHighestAvailable   ? "highestAvailable"
                                                                    : "asInvoker";
  std::string element = std::string(R"(<requestedExecutionLevel level=")") + name + R"(" uiAccess="false")";
  element.append(kLevelElementSize - 2 - element.size(), ' ');
  return element + "/>";
}

// Offsets of every occurrence of `text` in `file`.
std::vector<std::size_t> FindAll(const std::vector<std::uint8_t>& file, const std::string& text) {
  std::vector<std::size_t> found;
  auto at = file.begin();
  while ((at = std::search(at, file.end(), text.begin(), text.end())) != file.end()) {
    found.push_back(static_cast<std::size_t>(at - file.begin()));
    ++at;
  }
  return found;
}

void SetExecutionLevel(std::vector<std::uint8_t>& file, ExecutionLevel level) {
  const std::vector<std::size_t> found = FindAll(file, kDefaultLevelElement);
  if (found.size() != 1) {
    throw PackError(
        "the stub's manifest does not hold the requestedExecutionLevel element in its default form " +
        std::string(found.empty() ? "(none found)" : "exactly once (found " + std::to_string(found.size()) + ")") +
        "; --elevation needs a stub built by this project");
  }
  const std::string element = LevelElement(level);
  std::memcpy(file.data() + found[0], element.data(), element.size());
}

// Puts the default form back where exactly one element of any level is.
void RestoreDefaultExecutionLevel(std::vector<std::uint8_t>& file) {
  std::vector<std::size_t> found;
  for (ExecutionLevel level :
       {ExecutionLevel::kRequireAdministrator, ExecutionLevel::kHighestAvailable, ExecutionLevel::kAsInvoker}) {
    const std::vector<std::size_t> at = FindAll(file, LevelElement(level));
    found.insert(found.end(), at.begin(), at.end());
  }
  if (found.size() == 1) std::memcpy(file.data() + found[0], kDefaultLevelElement, kLevelElementSize);
}

// The header of the payload section and its index, or null.
const std::uint8_t* PayloadSectionHeader(const std::vector<std::uint8_t>& file, const PeHeaders& headers,
                                         std::uint64_t* index) {
  for (std::uint64_t i = 0; i < headers.section_count; ++i) {
    const std::uint8_t* section = file.data() + headers.table + i * kSectionHeaderSize;
    if (std::memcmp(section, kPayloadSectionName, kSectionNameSize) == 0) {
      *index = i;
      return section;
    }
  }
  return nullptr;
}

void WriteCheckSum(std::vector<std::uint8_t>& file, const PeHeaders& headers) {
  SetOptionalField(file, headers, kCheckSumOffset, PeChecksum(file));
}

}  // namespace

std::uint32_t PeChecksum(const std::vector<std::uint8_t>& file) {
  PeHeaders headers;
  const std::uint64_t checksum_at = ReadHeaders(file, &headers) ? headers.optional + kCheckSumOffset : file.size();
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    // The 4 bytes of the CheckSum field count as zero; an odd last byte is
    // a word with a zero high byte.
    if (i >= checksum_at && i < checksum_at + 4) continue;
    std::uint32_t word = file[i];
    if (i + 1 < file.size()) word |= static_cast<std::uint32_t>(file[i + 1]) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + file.size());
}

std::vector<std::uint8_t> BuildInstaller(const std::vector<std::uint8_t>& stub, const std::vector<std::uint8_t>& block,
                                         std::optional<ExecutionLevel> level, InstallerReport* report) {
  PeHeaders headers;
  std::size_t sections_end = 0;
  if (!ReadHeaders(stub, &headers) || !FindPeOverlayOffset(stub.data(), stub.size(), &sections_end)) {
    throw PackError("the stub is not a PE executable (or its sections run past the end of the file)");
  }
  std::uint64_t existing = 0;
  if (PayloadSectionHeader(stub, headers, &existing) != nullptr) {
    throw PackError("the stub already has a payload section: it is an installer, not a stub");
  }

  // Room for one more section header between the table and the first
  // section's data (and inside the file), unused (all zero) in the stub.
  const std::uint64_t new_header = headers.table + headers.section_count * kSectionHeaderSize;
  std::uint64_t room_end = OptionalField(stub, headers, kSizeOfHeadersOffset);
  std::uint64_t image_end = 0;
  for (std::uint64_t i = 0; i < headers.section_count; ++i) {
    const std::uint8_t* section = stub.data() + headers.table + i * kSectionHeaderSize;
    if (LoadLE32(section + kSizeOfRawDataOffset) != 0) {
      room_end = std::min<std::uint64_t>(room_end, LoadLE32(section + kPointerToRawDataOffset));
    }
    const std::uint64_t virtual_end =
        std::uint64_t{LoadLE32(section + kVirtualAddressOffset)} +
        std::max(LoadLE32(section + kVirtualSizeOffset), LoadLE32(section + kSizeOfRawDataOffset));
    image_end = std::max(image_end, virtual_end);
  }
  room_end = std::min<std::uint64_t>(room_end, sections_end);
  if (headers.section_count == 0xFFFF || new_header + kSectionHeaderSize > room_end ||
      !std::all_of(stub.begin() + static_cast<std::ptrdiff_t>(new_header),
                   stub.begin() + static_cast<std::ptrdiff_t>(new_header + kSectionHeaderSize),
                   [](std::uint8_t b) { return b == 0; })) {
    throw PackError("the stub has no room for another section header after its " +
                    std::to_string(headers.section_count) + " sections (headers end at " + std::to_string(room_end) +
                    "); link it with more header room");
  }
  const std::uint32_t section_alignment = OptionalField(stub, headers, kSectionAlignmentOffset);
  const std::uint32_t file_alignment = OptionalField(stub, headers, kFileAlignmentOffset);
  const std::uint32_t image_size = OptionalField(stub, headers, kSizeOfImageOffset);
  // The file alignment pads the new section in memory and on disk, so it is
  // held to what Windows loads (at most 64 KiB): a huge value in a hostile
  // stub would otherwise make the writer allocate gigabytes of padding.
  if (!IsPowerOfTwo(section_alignment) || !IsPowerOfTwo(file_alignment) || file_alignment > kMaxFileAlignment ||
      image_size % section_alignment != 0 || image_size < image_end) {
    throw PackError("the stub's section alignment, file alignment or SizeOfImage is not consistent");
  }

  // The payload section: after every section in memory and in the file.
  const std::uint64_t virtual_size = sizeof kOverlayMarker + block.size();
  const std::uint64_t raw_pointer = AlignUp(sections_end, file_alignment);
  const std::uint64_t raw_size = AlignUp(virtual_size, file_alignment);
  const std::uint64_t new_image_size = image_size + AlignUp(virtual_size, section_alignment);
  if (new_image_size > kMaxImageSize || raw_pointer + raw_size > kMaxImageSize) {
    throw PackError("the payload is too large for a PE image (" + std::to_string(block.size()) + " bytes)");
  }

  InstallerReport result;
  result.stub_size = sections_end;
  result.block_offset = static_cast<std::size_t>(raw_pointer) + sizeof kOverlayMarker;
  result.dropped_bytes = stub.size() - sections_end;
  std::vector<std::uint8_t> out(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(sections_end));
  result.cleared_certificate_entry = ClearCertificateEntryFrom(out, headers, sections_end);
  if (level) SetExecutionLevel(out, *level);

  std::uint8_t* section = out.data() + new_header;
  std::memcpy(section, kPayloadSectionName, kSectionNameSize);
  StoreLE32(section + kVirtualSizeOffset, static_cast<std::uint32_t>(virtual_size));
  StoreLE32(section + kVirtualAddressOffset, image_size);
  StoreLE32(section + kSizeOfRawDataOffset, static_cast<std::uint32_t>(raw_size));
  StoreLE32(section + kPointerToRawDataOffset, static_cast<std::uint32_t>(raw_pointer));
  StoreLE32(section + kSectionCharacteristicsOffset, kReadOnlyDataCharacteristics);
  SetSectionCount(out, headers, headers.section_count + 1);
  SetOptionalField(out, headers, kSizeOfImageOffset, static_cast<std::uint32_t>(new_image_size));

  out.resize(static_cast<std::size_t>(raw_pointer), 0);
  out.insert(out.end(), kOverlayMarker, kOverlayMarker + sizeof kOverlayMarker);
  out.insert(out.end(), block.begin(), block.end());
  out.resize(static_cast<std::size_t>(raw_pointer + raw_size), 0);
  WriteCheckSum(out, headers);
  if (report != nullptr) *report = result;
  return out;
}

std::optional<std::vector<std::uint8_t>> StubOfInstaller(const std::vector<std::uint8_t>& installer) {
  PeHeaders headers;
  if (!ReadHeaders(installer, &headers)) return std::nullopt;
  std::uint64_t index = 0;
  const std::uint8_t* section = PayloadSectionHeader(installer, headers, &index);
  // BuildInstaller adds the payload section as the last one.
  if (section == nullptr || index + 1 != headers.section_count) return std::nullopt;
  const std::uint64_t raw_pointer = LoadLE32(section + kPointerToRawDataOffset);
  const std::uint32_t address = LoadLE32(section + kVirtualAddressOffset);
  const std::uint64_t section_header = headers.table + index * kSectionHeaderSize;
  if (raw_pointer > installer.size() || raw_pointer < section_header + kSectionHeaderSize) return std::nullopt;

  std::vector<std::uint8_t> stub(installer.begin(), installer.begin() + static_cast<std::ptrdiff_t>(raw_pointer));
  std::fill_n(stub.begin() + static_cast<std::ptrdiff_t>(section_header), kSectionHeaderSize, 0);
  SetSectionCount(stub, headers, index);
  SetOptionalField(stub, headers, kSizeOfImageOffset, address);
  ClearCertificateEntryFrom(stub, headers, 0);
  RestoreDefaultExecutionLevel(stub);
  WriteCheckSum(stub, headers);
  return stub;
}

}  // namespace sfx
