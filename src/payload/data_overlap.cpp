// Shared-data check of an image directory (see data_overlap.h).
//
// The ranges are sorted by offset and then by size, so equal ranges lie next
// to each other. A sweep keeps the range that reaches furthest so far: a
// range that starts before that end and is not equal to the range just
// before it meets some earlier range partly. Sorting costs N log N for N
// entries and the sweep N, whatever the sizes of the ranges.
#include "payload/data_overlap.h"

#include <algorithm>
#include <new>

#include "payload/image_directory_cursor.h"

namespace sfx {

std::vector<DataRangeUse> SortedDataRanges(const PayloadImageView& view, std::uint32_t max_entries) {
  std::vector<DataRangeUse> ranges;
  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  for (std::uint32_t index = 0; index < max_entries && cursor.Next(entry); ++index) {
    const std::uint64_t end = std::uint64_t{entry.data_offset} + entry.data_size;
    if (entry.data_size != 0 && end <= view.size()) ranges.push_back({entry.data_offset, entry.data_size, index});
  }
  std::sort(ranges.begin(), ranges.end(), [](const DataRangeUse& a, const DataRangeUse& b) {
    if (a.offset != b.offset) return a.offset < b.offset;
    if (a.size != b.size) return a.size < b.size;
    return a.entry < b.entry;
  });
  return ranges;
}

DataOverlap FindPartialOverlap(const std::vector<DataRangeUse>& sorted) {
  DataOverlap overlap;
  const DataRangeUse* furthest = nullptr;
  const DataRangeUse* previous = nullptr;
  for (const DataRangeUse& range : sorted) {
    const bool same_as_previous =
        previous != nullptr && previous->offset == range.offset && previous->size == range.size;
    if (!same_as_previous && furthest != nullptr && range.offset < std::uint64_t{furthest->offset} + furthest->size) {
      overlap.result = DataOverlap::Result::kFound;
      overlap.first = std::min(furthest->entry, range.entry);
      overlap.second = std::max(furthest->entry, range.entry);
      return overlap;
    }
    if (furthest == nullptr ||
        std::uint64_t{range.offset} + range.size > std::uint64_t{furthest->offset} + furthest->size) {
      furthest = &range;
    }
    previous = &range;
  }
  return overlap;
}

DataOverlap FindDataOverlap(const PayloadImageView& view) {
  try {
    return FindPartialOverlap(SortedDataRanges(view));
  } catch (const std::bad_alloc&) {
    DataOverlap overlap;
    overlap.result = DataOverlap::Result::kNoMemory;
    return overlap;
  }
}

}  // namespace sfx
