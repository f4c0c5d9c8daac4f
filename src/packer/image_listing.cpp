// Image listing: header checks, then the directory walk that the stub does,
// but without stopping at the first bad entry.
#include "packer/image_listing.h"

#include <algorithm>
#include <cstring>

#include "payload/image_directory_cursor.h"

namespace sfx {

namespace {

// Marks every entry whose non-empty data shares a byte with another's. In
// offset order, an entry overlaps an earlier one exactly when it starts
// before the furthest end seen so far, and the entry holding that end is
// one of its partners.
std::size_t MarkSharedData(std::vector<ImageListing::Entry>& entries) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].fields.data_size != 0) order.push_back(i);
  }
  auto start = [&entries](std::size_t i) { return std::uint64_t{entries[i].fields.data_offset}; };
  auto stop = [&entries, &start](std::size_t i) { return start(i) + entries[i].fields.data_size; };
  std::stable_sort(order.begin(), order.end(), [&start](std::size_t a, std::size_t b) { return start(a) < start(b); });
  std::size_t furthest = 0;
  bool any = false;
  for (std::size_t i : order) {
    if (any && start(i) < stop(furthest)) {
      entries[i].shares_data = true;
      entries[furthest].shares_data = true;
    }
    if (!any || stop(i) > stop(furthest)) furthest = i;
    any = true;
  }
  return static_cast<std::size_t>(
      std::count_if(entries.begin(), entries.end(), [](const ImageListing::Entry& e) { return e.shares_data; }));
}

}  // namespace

bool ImageListing::ok() const {
  if (header_status != ImageStatus::kOk || walk_status != ImageStatus::kOk || !directory_complete) return false;
  for (const Entry& entry : entries) {
    if (entry.data_status != ImageStatus::kOk || !entry.name_safe || entry.device_name || entry.shares_data) {
      return false;
    }
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
    listing.entries.push_back({entry, entry.name, view.CheckEntryData(entry), IsSafeEntryName(entry.name),
                               HasDeviceNameComponent(entry.name), false});
  }
  listing.sharing_entries = MarkSharedData(listing.entries);
  listing.walk_status = cursor.status();
  listing.directory_complete = cursor.status() == ImageStatus::kOk;
  return listing;
}

}  // namespace sfx
