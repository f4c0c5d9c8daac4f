// A listing of an unpacked image for tools: the header checks and every
// directory entry that can be read, each with its own data check.
//
// A corrupt image is listed as far as it goes: when the signature is right
// the directory is walked even if a CRC failed, until it ends or an entry no
// longer fits the image. Besides each entry's own checks, the listing marks
// names that are Windows devices and every entry whose data shares bytes
// with another entry's (the readers that write files refuse both).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payload/payload_format.h"

namespace sfx {

// What a walk over an image found.
struct ImageListing {
  // One directory entry with the result of its data check.
  struct Entry {
    ImageEntry fields;
    std::string name;          // Windows-1252, as stored
    ImageStatus data_status;   // CheckEntryData
    bool name_safe = false;    // IsSafeEntryName
    bool device_name = false;  // HasDeviceNameComponent
    bool shares_data = false;  // its data shares a byte with another entry's data
  };

  bool has_header = false;  // the image holds the 52 header bytes
  ImageHeader header{};
  ImageStatus header_status = ImageStatus::kOk;  // CheckHeader
  ImageStatus walk_status = ImageStatus::kOk;    // why the walk stopped early, if it did
  bool directory_complete = false;               // the walk reached the 0 word
  std::vector<Entry> entries;
  std::size_t sharing_entries = 0;  // entries with shares_data set

  // True when the stub would accept every part of the image.
  bool ok() const;
};

ImageListing ListImage(const PayloadImageView& view);

}  // namespace sfx
