// The check that no two directory entries partly share data bytes.
//
// Entries may point at exactly the same data (same offset, same size): the
// packer stores a file that occurs in several folders once, and each entry
// is written from that one range. Ranges that meet without being equal are
// another matter: no packer makes them, and they let a small image make
// its readers write about U * U / 25 bytes (an image of U bytes, each entry
// at least 25 directory bytes, each pointing at a different large slice of
// the same bytes). An image with such a partial overlap is refused as
// corrupt by every reader that writes files.
#pragma once

#include <cstdint>
#include <vector>

#include "payload/payload_format.h"

namespace sfx {

// One entry's non-empty data range that lies inside the image.
struct DataRangeUse {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t entry = 0;  // the entry's position in the directory, 0 for the first
};

// The non-empty in-image data ranges of the first `max_entries` entries of
// the directory of `view` (as far as it can be read), sorted by offset,
// then size, then entry. Empty data and data that does not lie inside the
// image are left out (the data checks refuse the latter). `view` must hold
// the 52 header bytes. Throws std::bad_alloc when the list cannot be held.
std::vector<DataRangeUse> SortedDataRanges(const PayloadImageView& view, std::uint32_t max_entries = UINT32_MAX);

// What FindDataOverlap found: two entries, by their position in the
// directory, whose data meet without being the same range.
struct DataOverlap {
  enum class Result { kNone, kFound, kNoMemory };
  Result result = Result::kNone;
  std::uint32_t first = 0;   // the earlier entry of the pair
  std::uint32_t second = 0;  // the later one
};

// The first pair, in offset order, of ranges in `sorted` (as
// SortedDataRanges returns them) that overlap without being equal.
DataOverlap FindPartialOverlap(const std::vector<DataRangeUse>& sorted);

// SortedDataRanges then FindPartialOverlap; kNoMemory when the range list
// cannot be held (12 bytes per entry).
DataOverlap FindDataOverlap(const PayloadImageView& view);

}  // namespace sfx
