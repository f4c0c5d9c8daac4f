// Image listing: header checks, then the directory walk that the stub does,
// but without stopping at the first bad entry.
#include "packer/image_listing.h"

#include <cstring>

namespace sfx {

bool ImageListing::ok() const {
  if (header_status != ImageStatus::kOk || walk_status != ImageStatus::kOk || !directory_complete) return false;
  for (const Entry& entry : entries) {
    if (entry.data_status != ImageStatus::kOk || !entry.name_safe) return false;
  }
  return true;
}

ImageListing ListImage(const PayloadImageView& view) {
  ImageListing listing;
  listing.header_status = view.CheckHeader();
  if (view.size() < kImageHeaderSize) return listing;
  listing.has_header = true;
  listing.header = view.Header();
  if (std::memcmp(listing.header.signature, kImageSignature, kImageSignatureSize) != 0) return listing;

  std::uint32_t offset = listing.header.dir_offset;
  for (;;) {
    ImageEntry entry;
    bool at_end = false;
    std::uint32_t next = 0;
    const ImageStatus status = view.ReadEntry(offset, entry, &at_end, &next);
    if (status != ImageStatus::kOk) {
      listing.walk_status = status;
      return listing;
    }
    if (at_end) {
      listing.directory_complete = true;
      return listing;
    }
    ImageListing::Entry listed{entry, entry.name, view.CheckEntryData(entry), IsSafeEntryName(entry.name)};
    listing.entries.push_back(std::move(listed));
    // A sound directory only moves forward; this keeps a walk over a
    // damaged one finite whatever ReadEntry accepts.
    if (next <= offset) {
      listing.walk_status = ImageStatus::kEntryOutOfImage;
      return listing;
    }
    offset = next;
  }
}

}  // namespace sfx
