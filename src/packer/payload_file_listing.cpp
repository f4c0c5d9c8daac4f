// Listing of an installer or payload block file (see payload_file_listing.h).
#include "packer/payload_file_listing.h"

#include <vector>

#include "packer/payload_block.h"
#include "payload/crc32.h"

namespace sfx {

PayloadFileListing ListPayloadFile(const std::filesystem::path& path, const ProgressReport& progress) {
  const PayloadFile file = ReadPayloadFile(path);
  const std::vector<std::uint8_t> image = DecodePayloadFile(file, progress);
  CrcTable table;
  BuildCrcTable(table);
  PayloadFileListing listing;
  listing.kind = file.kind;
  listing.block_offset = file.block_offset;
  listing.packed_size = file.packed_size;
  listing.unpacked_size = file.unpacked_size;
  listing.stub_sha256 = file.stub_sha256;
  listing.image = ListImage(PayloadImageView(image.data(), image.size(), table));
  return listing;
}

}  // namespace sfx
