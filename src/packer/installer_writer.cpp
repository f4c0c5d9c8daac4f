// Installer assembly. Besides the section table (read by
// FindPeOverlayOffset), one more PE field matters here: data directory 4 of
// the optional header, the certificate table, whose "address" is a file
// offset. It sits at optional header + 128 in PE32 (magic 0x10B) and at
// + 144 in PE32+ (magic 0x20B); it exists only when NumberOfRvaAndSizes > 4
// and the optional header is long enough to hold it.
#include "packer/installer_writer.h"

#include <cstring>

#include "common/byte_order.h"
#include "packer/pack_error.h"
#include "payload/overlay.h"
#include "payload/pe_layout.h"

namespace sfx {

namespace {

constexpr std::size_t kCertificateDirectory = 4;

// Zeroes the certificate-table entry when it points at or past `overlay`.
// Returns true when it did. Any field outside the file leaves it alone.
bool ClearDroppedCertificateEntry(std::vector<std::uint8_t>& file, std::size_t overlay) {
  if (file.size() < kLfanewOffset + 4) return false;
  const std::uint64_t pe = LoadLE32(file.data() + kLfanewOffset);
  const std::uint64_t coff = pe + kPeSignatureSize;
  const std::uint64_t optional = coff + kCoffHeaderSize;
  if (optional + 2 > file.size()) return false;
  const std::uint64_t optional_size = LoadLE16(file.data() + coff + kCoffOptionalHeaderSizeOffset);
  const std::uint16_t magic = LoadLE16(file.data() + optional);
  std::uint64_t count_at = 0;
  std::uint64_t directories_at = 0;
  if (magic == 0x10B) {
    count_at = 92, directories_at = 96;
  } else if (magic == 0x20B) {
    count_at = 108, directories_at = 112;
  } else {
    return false;
  }
  const std::uint64_t entry_at = directories_at + kCertificateDirectory * 8;
  if (entry_at + 8 > optional_size || optional + entry_at + 8 > file.size()) return false;
  if (LoadLE32(file.data() + optional + count_at) <= kCertificateDirectory) return false;
  std::uint8_t* entry = file.data() + optional + entry_at;
  const std::uint32_t address = LoadLE32(entry);
  const std::uint32_t size = LoadLE32(entry + 4);
  if (address == 0 && size == 0) return false;
  if (address < overlay) return false;
  StoreLE32(entry, 0);
  StoreLE32(entry + 4, 0);
  return true;
}

}  // namespace

std::vector<std::uint8_t> BuildInstaller(const std::vector<std::uint8_t>& stub, const std::vector<std::uint8_t>& block,
                                         InstallerReport* report) {
  std::size_t overlay = 0;
  if (stub.size() < 2 || stub[0] != 'M' || stub[1] != 'Z' || !FindPeOverlayOffset(stub.data(), stub.size(), &overlay) ||
      overlay > stub.size()) {
    throw PackError("the stub is not a PE executable (or its sections run past the end of the file)");
  }
  std::vector<std::uint8_t> out(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(overlay));
  InstallerReport result;
  result.overlay_offset = overlay;
  result.dropped_bytes = stub.size() - overlay;
  result.cleared_certificate_entry = ClearDroppedCertificateEntry(out, overlay);
  out.insert(out.end(), kOverlayMarker, kOverlayMarker + sizeof kOverlayMarker);
  out.insert(out.end(), block.begin(), block.end());
  if (report != nullptr) *report = result;
  return out;
}

}  // namespace sfx
