// A listing of an unpacked image for tools: the header checks and every
// directory entry that can be read, each with its own checks.
//
// A corrupt image is listed as far as it goes: when the signature is right
// the directory is walked even if a CRC failed, until it ends, an entry no
// longer fits the image, or kMaxImageEntries entries have been read.
// Besides each entry's data check, the listing marks names that the stub
// refuses, names Windows cannot create (devices, the characters < > " | ?
// *), names that repeat an earlier one, entries that share their data with
// another and entries whose data overlap another's partly; the readers that
// write files refuse all of these but the sharing.
//
// The listing streams: the entries are checked in a first walk (see
// ImageIndex for what that costs), the summary is handed over, and a second
// walk hands over the entries one by one, so nothing per entry is kept
// beyond the index.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "payload/payload_format.h"

namespace sfx {

// One directory entry with the results of its checks.
struct ListedEntry {
  std::uint32_t index = 0;                     // position in the directory
  ImageEntry fields;                           // `fields.name` points into the image (Windows-1252)
  ImageStatus data_status = ImageStatus::kOk;  // ImageIndex::CheckData
  bool name_safe = false;                      // IsSafeEntryName
  bool device_name = false;                    // HasDeviceNameComponent
  bool windows_forbidden = false;              // holds < > " | ? or *
  bool repeated_name = false;                  // an earlier entry has this name (any letter case)
  bool shares_data = false;                    // another entry has exactly this data range
  bool partly_overlaps = false;                // its data overlaps another entry's partly

  // True when a reader that writes files accepts the entry.
  bool ok() const;
};

// What the first walk over an image found.
struct ImageListing {
  bool has_header = false;  // the image holds the 52 header bytes
  ImageHeader header{};
  ImageStatus header_status = ImageStatus::kOk;  // CheckHeader
  ImageStatus walk_status = ImageStatus::kOk;    // why the walk stopped early, if it did
  bool directory_complete = false;               // the walk reached the 0 word
  bool too_many_entries = false;                 // more than kMaxImageEntries
  std::uint32_t entry_count = 0;
  std::uint64_t data_bytes = 0;       // all entries' data sizes together
  std::uint32_t sharing_entries = 0;  // entries with shares_data set
  std::uint32_t repeated_names = 0;   // entries with repeated_name set
  std::string problem;                // the first problem met, in UTF-8; empty when sound

  // True when the image is sound: the stub accepts every part of it and
  // the tools find nothing to refuse.
  bool ok() const { return problem.empty(); }
};

using ListedEntryVisitor = std::function<void(const ListedEntry& entry)>;

// Lists the image of `view`: checks it, calls `summary` (when set) with the
// result, then calls `visit` (when set) for every entry in directory order,
// and returns the result. Throws std::bad_alloc when the index cannot be
// held.
ImageListing ListImage(const PayloadImageView& view, const std::function<void(const ImageListing&)>& summary,
                       const ListedEntryVisitor& visit);

// True when `name` holds a character that Windows does not allow in file
// names but the stub's own name rule lets through: < > " | ? *.
bool HasWindowsForbiddenCharacter(const char* name);

}  // namespace sfx
