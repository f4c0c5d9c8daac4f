// Image listing: header checks, then the directory walk that the stub does,
// but without stopping at the first bad entry.
#include "packer/image_listing.h"

#include <cstring>

#include "payload/image_directory_cursor.h"

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

  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  while (cursor.Next(entry)) {
    listing.entries.push_back({entry, entry.name, view.CheckEntryData(entry), IsSafeEntryName(entry.name)});
  }
  listing.walk_status = cursor.status();
  listing.directory_complete = cursor.status() == ImageStatus::kOk;
  return listing;
}

}  // namespace sfx
