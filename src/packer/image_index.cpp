// Directory index (see image_index.h). Names go into an open-addressing
// table of entry offsets, hashed and compared case-folded in place in the
// image; data ranges into a sorted table of distinct ranges, each with its
// number of users, its partial-overlap mark and its CRC once computed.
#include "packer/image_index.h"

#include <algorithm>
#include <bit>

#include "packer/codepage_1252.h"
#include "payload/image_directory_cursor.h"

namespace sfx {

namespace {

std::uint64_t FoldedHash(const char* name) {
  std::uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a
  for (; *name != '\0'; ++name) {
    hash ^= FoldCase1252(static_cast<unsigned char>(*name));
    hash *= 0x100000001B3u;
  }
  return hash;
}

bool FoldedEqual(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (FoldCase1252(static_cast<unsigned char>(*a)) != FoldCase1252(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

std::uint64_t End(std::uint32_t offset, std::uint32_t size) { return std::uint64_t{offset} + size; }

}  // namespace

ImageIndex::ImageIndex(const PayloadImageView& view) : view_(view) {
  BuildCrcTable(table_);
  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  while (cursor.Next(entry)) {
    if (entry_count_ == kMaxImageEntries) {
      too_many_ = true;
      break;
    }
    ++entry_count_;
  }
  walk_status_ = cursor.status();
  first_repeat_ = entry_count_;
  IndexNames();

  const std::vector<DataRangeUse> uses = SortedDataRanges(view, entry_count_);
  overlap_ = FindPartialOverlap(uses);
  for (const DataRangeUse& use : uses) {
    if (!ranges_.empty() && ranges_.back().offset == use.offset && ranges_.back().size == use.size) {
      ranges_.back().users += 1;
    } else {
      ranges_.push_back({use.offset, use.size, 1, 0, false, false});
    }
  }
  // In offset order a range overlaps an earlier one exactly when it starts
  // before the furthest end seen so far; the range holding that end is one
  // of its partners.
  std::size_t furthest = 0;
  for (std::size_t i = 0; i < ranges_.size(); ++i) {
    Range& range = ranges_[i];
    if (range.users > 1) sharing_entries_ += range.users;
    if (i != 0 && range.offset < End(ranges_[furthest].offset, ranges_[furthest].size)) {
      range.partial = true;
      ranges_[furthest].partial = true;
    }
    if (i == 0 || End(range.offset, range.size) > End(ranges_[furthest].offset, ranges_[furthest].size)) furthest = i;
  }
}

void ImageIndex::IndexNames() {
  repeats_.assign(entry_count_, false);
  const std::size_t capacity = std::bit_ceil(std::size_t{entry_count_} * 2 + 2);
  std::vector<std::uint32_t> slots(capacity, 0);  // entry offset + 1; 0 is free
  ImageDirectoryCursor cursor(view_);
  ImageEntry entry;
  for (std::uint32_t index = 0; index < entry_count_ && cursor.Next(entry); ++index) {
    std::size_t slot = FoldedHash(entry.name) & (capacity - 1);
    for (;; slot = (slot + 1) & (capacity - 1)) {
      if (slots[slot] == 0) {
        slots[slot] = entry.offset + 1;
        break;
      }
      const char* other = reinterpret_cast<const char*>(view_.data()) + (slots[slot] - 1) + 24;
      if (FoldedEqual(other, entry.name)) {
        repeats_[index] = true;
        ++repeated_names_;
        first_repeat_ = std::min(first_repeat_, index);
        break;
      }
    }
  }
}

const ImageIndex::Range* ImageIndex::FindRange(const ImageEntry& entry) const {
  auto it = std::lower_bound(ranges_.begin(), ranges_.end(), entry, [](const Range& range, const ImageEntry& e) {
    return range.offset != e.data_offset ? range.offset < e.data_offset : range.size < e.data_size;
  });
  if (it == ranges_.end() || it->offset != entry.data_offset || it->size != entry.data_size) return nullptr;
  return &*it;
}

ImageIndex::Range* ImageIndex::FindRange(const ImageEntry& entry) {
  return const_cast<Range*>(static_cast<const ImageIndex*>(this)->FindRange(entry));
}

bool ImageIndex::PartlyOverlaps(const ImageEntry& entry) const {
  const Range* range = FindRange(entry);
  return range != nullptr && range->partial;
}

bool ImageIndex::SharesData(const ImageEntry& entry) const {
  const Range* range = FindRange(entry);
  return range != nullptr && range->users > 1;
}

ImageStatus ImageIndex::CheckData(const ImageEntry& entry) {
  Range* range = entry.data_size == 0 ? nullptr : FindRange(entry);
  if (range == nullptr) return view_.CheckEntryData(entry);  // empty or outside the image: no CRC work
  if (End(entry.data_offset, entry.data_size) > view_.Header().data_end) return ImageStatus::kDataBeyondEnd;
  if (range->partial) return ImageStatus::kOk;
  if (!range->crc_known) {
    range->crc = CrcBlock(table_, view_.data() + range->offset, range->size, kPayloadSeed);
    range->crc_known = true;
  }
  return range->crc == entry.data_crc ? ImageStatus::kOk : ImageStatus::kBadDataCrc;
}

}  // namespace sfx
