// The check that no two directory entries share data bytes.
//
// The format lets any number of entries point at the same data, so a small
// image could have a folder written full of copies of one large range: an
// image of U bytes, each entry at least 25 directory bytes, could make its
// readers write about U * U / 25 bytes. Images that the packer builds give
// every entry its own range, so an image whose non-empty ranges overlap is
// refused as corrupt by every reader that writes files.
#pragma once

#include <cstdint>

#include "payload/payload_format.h"

namespace sfx {

// What FindDataOverlap found: two entries, by their position in the
// directory (0 for the first entry), whose data share at least one byte.
struct DataOverlap {
  enum class Result { kNone, kFound, kNoMemory };
  Result result = Result::kNone;
  std::uint32_t first = 0;   // the earlier entry of the pair
  std::uint32_t second = 0;  // the first entry whose data meets an earlier entry's data
};

// Walks the directory of `view` as far as it can be read and finds the first
// entry whose data shares a byte with an earlier entry's data. Empty data
// and data that does not lie inside the image are left out (the data checks
// refuse the latter). Uses one bit per image byte (kNoMemory when that
// cannot be allocated); `view` must hold at least the 52 header bytes.
DataOverlap FindDataOverlap(const PayloadImageView& view);

}  // namespace sfx
