// Installer assembly and its inverse. The PE headers are read through
// PeImage (section table, alignments, SizeOfImage, SizeOfHeaders, the header
// room, the certificate-table entry, whose "address" is a file offset, and
// where the manifest lies); this file writes the changed fields at the
// offsets it reports.
//
// Every offset is checked against the file before it is read or written;
// sums of 32-bit fields are formed in 64 bits.
#include "packer/installer_writer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/byte_order.h"
#include "packer/pack_error.h"
#include "payload/payload_locator.h"
#include "payload/pe_image.h"

namespace sfx {

namespace {

constexpr std::uint64_t kMaxImageSize = 0xFFFFFFFFu;
// The largest file alignment a loadable PE image has.
constexpr std::uint32_t kMaxFileAlignment = 0x10000;

// The requestedExecutionLevel element as stub.manifest holds it, and the
// text after the level that every form shares.
constexpr char kDefaultLevelElement[] = R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)";
constexpr std::size_t kLevelElementSize = sizeof kDefaultLevelElement - 1;

// The headers of `file` when it is a PE file with a PE32 or PE32+ optional
// header whose fixed part and section table lie inside it.
std::optional<PeImage> ReadHeaders(const std::vector<std::uint8_t>& file) {
  std::optional<PeImage> image = PeImage::Parse(file.data(), file.size());
  if (!image || !image->has_optional_header()) return std::nullopt;
  return image;
}

// Optional header fields of an image that has_optional_header().
std::uint32_t OptionalField(const PeImage& headers, std::size_t offset) { return *headers.OptionalField(offset); }

void SetOptionalField(std::vector<std::uint8_t>& file, const PeImage& headers, std::size_t offset,
                      std::uint32_t value) {
  StoreLE32(file.data() + headers.optional_offset() + offset, value);
}

void SetSectionCount(std::vector<std::uint8_t>& file, const PeImage& headers, std::uint64_t count) {
  file[headers.coff_offset() + kCoffSectionCountOffset] = static_cast<std::uint8_t>(count);
  file[headers.coff_offset() + kCoffSectionCountOffset + 1] = static_cast<std::uint8_t>(count >> 8);
}

// Zeroes the certificate-table entry when it points at or past `end`.
// Returns true when it did.
bool ClearCertificateEntryFrom(std::vector<std::uint8_t>& file, const PeImage& headers, std::uint64_t end) {
  const std::optional<PeDirectoryEntry> entry = headers.CertificateEntry();
  if (!entry || (entry->address == 0 && entry->size == 0) || entry->address < end) return false;
  StoreLE32(file.data() + entry->offset, 0);
  StoreLE32(file.data() + entry->offset + 4, 0);
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

// File offsets of every occurrence of `text` inside the stub's manifest;
// none when `headers` finds no manifest inside `file`.
std::vector<std::size_t> FindInManifest(const std::vector<std::uint8_t>& file, const PeImage& headers,
                                        const std::string& text) {
  std::vector<std::size_t> found;
  const std::optional<PeSpan> manifest = headers.ManifestSpan();
  if (!manifest || manifest->size > file.size() || manifest->offset > file.size() - manifest->size) return found;
  const auto begin = file.begin() + static_cast<std::ptrdiff_t>(manifest->offset);
  const auto end = begin + static_cast<std::ptrdiff_t>(manifest->size);
  auto at = begin;
  while ((at = std::search(at, end, text.begin(), text.end())) != end) {
    found.push_back(static_cast<std::size_t>(at - file.begin()));
    ++at;
  }
  return found;
}

void SetExecutionLevel(std::vector<std::uint8_t>& file, const PeImage& headers, ExecutionLevel level) {
  const std::vector<std::size_t> found = FindInManifest(file, headers, kDefaultLevelElement);
  if (found.size() != 1) {
    throw PackError(
        "the stub's manifest does not hold the requestedExecutionLevel element in its default form " +
        std::string(found.empty() ? "(none found)" : "exactly once (found " + std::to_string(found.size()) + ")") +
        "; --elevation needs a stub built by this project");
  }
  const std::string element = LevelElement(level);
  std::memcpy(file.data() + found[0], element.data(), element.size());
}

// Puts the default form back where the manifest holds exactly one element
// of any level.
void RestoreDefaultExecutionLevel(std::vector<std::uint8_t>& file, const PeImage& headers) {
  std::vector<std::size_t> found;
  for (ExecutionLevel level :
       {ExecutionLevel::kRequireAdministrator, ExecutionLevel::kHighestAvailable, ExecutionLevel::kAsInvoker}) {
    const std::vector<std::size_t> at = FindInManifest(file, headers, LevelElement(level));
    found.insert(found.end(), at.begin(), at.end());
  }
  if (found.size() == 1) std::memcpy(file.data() + found[0], kDefaultLevelElement, kLevelElementSize);
}

void WriteCheckSum(std::vector<std::uint8_t>& file, const PeImage& headers) {
  SetOptionalField(file, headers, kCheckSumOffset, PeChecksum(file));
}

}  // namespace

std::uint32_t PeChecksum(const std::vector<std::uint8_t>& file) {
  const std::optional<PeImage> headers = ReadHeaders(file);
  const std::uint64_t checksum_at = headers ? headers->optional_offset() + kCheckSumOffset : file.size();
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
  const std::optional<PeImage> headers = ReadHeaders(stub);
  if (!headers || headers->SectionDataEnd() > stub.size()) {
    throw PackError("the stub is not a PE executable (or its sections run past the end of the file)");
  }
  const std::size_t sections_end = static_cast<std::size_t>(headers->SectionDataEnd());
  if (headers->FindSection(kPayloadSectionName)) {
    throw PackError("the stub already has a payload section: it is an installer, not a stub");
  }

  // Room for one more section header between the table and the first
  // section's data (and inside the file), unused (all zero) in the stub.
  const std::uint64_t new_header = headers->section_table_end();
  const std::uint64_t room_end = headers->HeaderRoomEnd();
  const std::uint64_t image_end = headers->SectionVirtualEnd();
  if (headers->section_count() == 0xFFFF || new_header + kSectionHeaderSize > room_end ||
      !std::all_of(stub.begin() + static_cast<std::ptrdiff_t>(new_header),
                   stub.begin() + static_cast<std::ptrdiff_t>(new_header + kSectionHeaderSize),
                   [](std::uint8_t b) { return b == 0; })) {
    throw PackError("the stub has no room for another section header after its " +
                    std::to_string(headers->section_count()) + " sections (headers end at " + std::to_string(room_end) +
                    "); link it with more header room");
  }
  const std::uint32_t section_alignment = OptionalField(*headers, kSectionAlignmentOffset);
  const std::uint32_t file_alignment = OptionalField(*headers, kFileAlignmentOffset);
  const std::uint32_t image_size = OptionalField(*headers, kSizeOfImageOffset);
  // The file alignment pads the new section in memory and on disk, so it is
  // held to what Windows loads (at most 64 KiB): a huge value in a hostile
  // stub would otherwise make the writer allocate gigabytes of padding.
  if (!IsPowerOfTwo(section_alignment) || !IsPowerOfTwo(file_alignment) || file_alignment > kMaxFileAlignment ||
      image_size % section_alignment != 0 || image_size < image_end) {
    throw PackError("the stub's section alignment, file alignment or SizeOfImage is not consistent");
  }

  // The payload section: after every section in memory and in the file.
  const std::uint64_t virtual_size = sizeof kPayloadMarker + block.size();
  const std::uint64_t raw_pointer = AlignUp(sections_end, file_alignment);
  const std::uint64_t raw_size = AlignUp(virtual_size, file_alignment);
  const std::uint64_t new_image_size = image_size + AlignUp(virtual_size, section_alignment);
  if (new_image_size > kMaxImageSize || raw_pointer + raw_size > kMaxImageSize) {
    throw PackError("the payload is too large for a PE image (" + std::to_string(block.size()) + " bytes)");
  }

  InstallerReport result;
  result.stub_size = sections_end;
  result.block_offset = static_cast<std::size_t>(raw_pointer) + sizeof kPayloadMarker;
  result.dropped_bytes = stub.size() - sections_end;
  std::vector<std::uint8_t> out(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(sections_end));
  result.cleared_certificate_entry = ClearCertificateEntryFrom(out, *headers, sections_end);
  if (level) SetExecutionLevel(out, *headers, *level);

  std::uint8_t* section = out.data() + new_header;
  std::memcpy(section, kPayloadSectionName, kSectionNameSize);
  StoreLE32(section + kVirtualSizeOffset, static_cast<std::uint32_t>(virtual_size));
  StoreLE32(section + kVirtualAddressOffset, image_size);
  StoreLE32(section + kSizeOfRawDataOffset, static_cast<std::uint32_t>(raw_size));
  StoreLE32(section + kPointerToRawDataOffset, static_cast<std::uint32_t>(raw_pointer));
  StoreLE32(section + kSectionCharacteristicsOffset, kReadOnlyDataCharacteristics);
  SetSectionCount(out, *headers, headers->section_count() + 1);
  SetOptionalField(out, *headers, kSizeOfImageOffset, static_cast<std::uint32_t>(new_image_size));

  out.resize(static_cast<std::size_t>(raw_pointer), 0);
  out.insert(out.end(), kPayloadMarker, kPayloadMarker + sizeof kPayloadMarker);
  out.insert(out.end(), block.begin(), block.end());
  out.resize(static_cast<std::size_t>(raw_pointer + raw_size), 0);
  WriteCheckSum(out, *headers);
  if (report != nullptr) *report = result;
  return out;
}

std::optional<std::vector<std::uint8_t>> StubOfInstaller(const std::vector<std::uint8_t>& installer) {
  const std::optional<PeImage> headers = ReadHeaders(installer);
  if (!headers) return std::nullopt;
  const std::optional<std::size_t> index = headers->FindSection(kPayloadSectionName);
  // BuildInstaller adds the payload section as the last one.
  if (!index || *index + 1 != headers->section_count()) return std::nullopt;
  const PeSection section = headers->Section(*index);
  const std::uint64_t raw_pointer = section.raw_pointer;
  const std::uint32_t address = section.virtual_address;
  const std::uint64_t section_header = section.header_offset;
  if (raw_pointer > installer.size() || raw_pointer < section_header + kSectionHeaderSize) return std::nullopt;

  std::vector<std::uint8_t> stub(installer.begin(), installer.begin() + static_cast<std::ptrdiff_t>(raw_pointer));
  std::fill_n(stub.begin() + static_cast<std::ptrdiff_t>(section_header), kSectionHeaderSize, 0);
  SetSectionCount(stub, *headers, *index);
  SetOptionalField(stub, *headers, kSizeOfImageOffset, address);
  ClearCertificateEntryFrom(stub, *headers, 0);
  RestoreDefaultExecutionLevel(stub, *headers);
  WriteCheckSum(stub, *headers);
  return stub;
}

}  // namespace sfx
