// Listing of an installer or payload block file (see payload_file_listing.h).
#include "packer/payload_file_listing.h"

#include <new>
#include <vector>

#include "packer/pack_error.h"
#include "packer/payload_block.h"
#include "payload/crc32.h"

namespace sfx {

PayloadFileListing ListPayloadFile(const std::filesystem::path& path, const ProgressReport& progress,
                                   const std::function<void(const PayloadFileListing&)>& summary,
                                   const ListedEntryVisitor& visit) {
  PayloadFileListing listing;
  std::vector<std::uint8_t> image;
  {
    const PayloadFile file = ReadPayloadFile(path);
    image = DecodePayloadFile(file, progress);
    listing.kind = file.kind;
    listing.block_offset = file.block_offset;
    listing.packed_size = file.packed_size;
    listing.unpacked_size = file.unpacked_size;
    listing.stub_sha256 = file.stub_sha256;
    if (!file.loader_problem.empty())
      listing.loader_problem = "the installer would not find its payload: " + file.loader_problem;
  }
  CrcTable table;
  BuildCrcTable(table);
  std::function<void(const ImageListing&)> on_image;
  if (summary) {
    on_image = [&listing, &summary](const ImageListing& image_listing) {
      listing.image = image_listing;
      summary(listing);
    };
  }
  try {
    listing.image = ListImage(PayloadImageView(image.data(), image.size(), table), on_image, visit);
  } catch (const std::bad_alloc&) {
    throw PackError("not enough memory to list the directory of " + std::to_string(image.size()) + " bytes");
  }
  return listing;
}

}  // namespace sfx
