// Shared-data check of an image directory (see data_overlap.h).
//
// One bit per image byte marks the data of the entries seen so far; an entry
// whose range meets a marked bit overlaps an earlier one, which a second walk
// then names. Ranges are marked only while they are disjoint, so the marking
// costs at most U bits in all: whole bytes of the bitmap are tested and set
// a byte at a time, the partial bytes at either end bit by bit.
#include "payload/data_overlap.h"

#include <memory>
#include <new>

#include "payload/image_directory_cursor.h"

namespace sfx {
namespace {

// The non-empty data range of an entry that lies inside the image.
bool DataRangeOf(const PayloadImageView& view, const ImageEntry& entry, std::uint64_t* begin, std::uint64_t* end) {
  *begin = entry.data_offset;
  *end = *begin + entry.data_size;
  return entry.data_size != 0 && *end <= view.size();
}

bool BitSet(const std::uint8_t* bits, std::uint64_t i) { return (bits[i / 8] >> (i % 8)) & 1u; }

// True when a bit of [begin, end) is set.
bool AnyMarked(const std::uint8_t* bits, std::uint64_t begin, std::uint64_t end) {
  for (; begin != end && begin % 8 != 0; ++begin) {
    if (BitSet(bits, begin)) return true;
  }
  for (; end - begin >= 8; begin += 8) {
    if (bits[begin / 8] != 0) return true;
  }
  for (; begin != end; ++begin) {
    if (BitSet(bits, begin)) return true;
  }
  return false;
}

// Sets every bit of [begin, end).
void Mark(std::uint8_t* bits, std::uint64_t begin, std::uint64_t end) {
  for (; begin != end && begin % 8 != 0; ++begin) bits[begin / 8] |= static_cast<std::uint8_t>(1u << (begin % 8));
  for (; end - begin >= 8; begin += 8) bits[begin / 8] = 0xFF;
  for (; begin != end; ++begin) bits[begin / 8] |= static_cast<std::uint8_t>(1u << (begin % 8));
}

// The first entry before position `second` whose range meets [begin, end).
std::uint32_t FindEarlierPartner(const PayloadImageView& view, std::uint32_t second, std::uint64_t begin,
                                 std::uint64_t end) {
  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  for (std::uint32_t index = 0; index < second && cursor.Next(entry); ++index) {
    std::uint64_t b = 0, e = 0;
    if (DataRangeOf(view, entry, &b, &e) && b < end && begin < e) return index;
  }
  return 0;  // not reached: some earlier range marked the bit
}

}  // namespace

DataOverlap FindDataOverlap(const PayloadImageView& view) {
  DataOverlap overlap;
  const std::size_t bitmap_size = view.size() / 8 + 1;
  std::unique_ptr<std::uint8_t[]> bits(new (std::nothrow) std::uint8_t[bitmap_size]());
  if (!bits) {
    overlap.result = DataOverlap::Result::kNoMemory;
    return overlap;
  }
  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  for (std::uint32_t index = 0; cursor.Next(entry); ++index) {
    std::uint64_t begin = 0, end = 0;
    if (!DataRangeOf(view, entry, &begin, &end)) continue;
    if (AnyMarked(bits.get(), begin, end)) {
      overlap.result = DataOverlap::Result::kFound;
      overlap.first = FindEarlierPartner(view, index, begin, end);
      overlap.second = index;
      return overlap;
    }
    Mark(bits.get(), begin, end);
  }
  return overlap;
}

}  // namespace sfx
