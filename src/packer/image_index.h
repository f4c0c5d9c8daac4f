// What the tools need to know about a whole directory before they look at
// its entries one by one: how many there are, which names repeat, which
// entries share data and which ranges overlap partly. The index also checks
// each entry's data with the CRC of a shared range computed once.
//
// Its cost is bounded by the image, not by what the directory claims: the
// walk stops after kMaxImageEntries entries, and the index keeps about 40
// bytes per entry (at most 40 MiB), so a listing or an extraction needs the
// U bytes of the image plus that; the CRC work is at most U bytes in all,
// since only ranges that do not overlap others partly are checked, each
// once.
#pragma once

#include <cstdint>
#include <vector>

#include "payload/crc32.h"
#include "payload/data_overlap.h"
#include "payload/payload_format.h"

namespace sfx {

// The most directory entries the tools examine. An installer with more is
// taken as corrupt: a real one holds thousands of files, and a directory
// of millions of tiny entries only costs its reader time and memory.
inline constexpr std::uint32_t kMaxImageEntries = 1u << 20;

class ImageIndex {
 public:
  // Walks the directory of `view`, which must hold the 52 header bytes and
  // outlive the index. Throws std::bad_alloc when the index cannot be held.
  explicit ImageIndex(const PayloadImageView& view);

  // Entries read, at most kMaxImageEntries.
  std::uint32_t entry_count() const { return entry_count_; }
  // True when the directory holds more than kMaxImageEntries entries.
  bool too_many_entries() const { return too_many_; }
  // Why the walk stopped early, as ImageDirectoryCursor says; kOk otherwise.
  ImageStatus walk_status() const { return walk_status_; }

  // True when the name of entry `index` equals an earlier entry's name
  // without regard to letter case (Windows would write both to one file).
  bool RepeatsName(std::uint32_t index) const { return repeats_[index]; }
  std::uint32_t repeated_names() const { return repeated_names_; }
  // The first entry whose name repeats; entry_count() when none does.
  std::uint32_t first_repeat() const { return first_repeat_; }

  // The first pair of entries whose data overlap partly.
  const DataOverlap& overlap() const { return overlap_; }
  // True when the entry's data overlaps another entry's partly.
  bool PartlyOverlaps(const ImageEntry& entry) const;
  // True when another entry has exactly the same data range.
  bool SharesData(const ImageEntry& entry) const;
  // Entries for which SharesData is true.
  std::uint32_t sharing_entries() const { return sharing_entries_; }

  // PayloadImageView::CheckEntryData, with the CRC of each data range
  // computed once however many entries use it. For a range that overlaps
  // another partly only the bounds are checked: the overlap already makes
  // the image corrupt, and checking every such range could cost U each.
  ImageStatus CheckData(const ImageEntry& entry);

 private:
  struct Range {
    std::uint32_t offset;
    std::uint32_t size;
    std::uint32_t users;
    std::uint32_t crc;
    bool crc_known;
    bool partial;
  };

  Range* FindRange(const ImageEntry& entry);
  const Range* FindRange(const ImageEntry& entry) const;
  void IndexNames();

  const PayloadImageView& view_;
  CrcTable table_;
  std::uint32_t entry_count_ = 0;
  bool too_many_ = false;
  ImageStatus walk_status_ = ImageStatus::kOk;
  std::vector<Range> ranges_;  // sorted by offset, then size
  std::vector<bool> repeats_;
  std::uint32_t repeated_names_ = 0;
  std::uint32_t first_repeat_ = 0;
  DataOverlap overlap_;
  std::uint32_t sharing_entries_ = 0;
};

}  // namespace sfx
