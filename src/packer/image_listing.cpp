// Image listing: header checks, then the directory walk that the stub does,
// but without stopping at the first bad entry, once to check and once to
// hand the entries over.
#include "packer/image_listing.h"

#include <cstring>

#include "packer/entry_name_text.h"
#include "packer/image_index.h"
#include "payload/image_directory_cursor.h"

namespace sfx {

namespace {

ListedEntry CheckEntry(ImageIndex& index, std::uint32_t position, const ImageEntry& entry) {
  ListedEntry listed;
  listed.index = position;
  listed.fields = entry;
  listed.data_status = index.CheckData(entry);
  listed.name_safe = IsSafeEntryName(entry.name);
  listed.device_name = HasDeviceNameComponent(entry.name);
  listed.windows_forbidden = HasWindowsForbiddenCharacter(entry.name);
  listed.repeated_name = index.RepeatsName(position);
  listed.shares_data = index.SharesData(entry);
  listed.partly_overlaps = index.PartlyOverlaps(entry);
  return listed;
}

std::string Quoted(const char* name) { return "\"" + PrintableName(name) + "\""; }

// What is wrong with an entry, first thing first; empty when nothing is.
std::string EntryProblem(const ListedEntry& entry) {
  const char* name = entry.fields.name;
  if (!entry.name_safe) return std::string(ImageStatusText(ImageStatus::kUnsafeName)) + " " + Quoted(name);
  if (entry.device_name) return std::string(ImageStatusText(ImageStatus::kDeviceName)) + " " + Quoted(name);
  if (entry.windows_forbidden) return "name that Windows cannot create " + Quoted(name);
  if (entry.repeated_name) return "repeated entry name " + Quoted(name);
  if (entry.partly_overlaps) return "the data of " + Quoted(name) + " overlaps another entry's data partly";
  if (entry.data_status != ImageStatus::kOk)
    return std::string(ImageStatusText(entry.data_status)) + " in " + Quoted(name);
  return {};
}

}  // namespace

bool ListedEntry::ok() const {
  return data_status == ImageStatus::kOk && name_safe && !device_name && !windows_forbidden && !repeated_name &&
         !partly_overlaps;
}

bool HasWindowsForbiddenCharacter(const char* name) { return std::strpbrk(name, "<>\"|?*") != nullptr; }

ImageListing ListImage(const PayloadImageView& view, const std::function<void(const ImageListing&)>& summary,
                       const ListedEntryVisitor& visit) {
  ImageListing listing;
  listing.header_status = view.CheckHeader();
  if (listing.header_status != ImageStatus::kOk) listing.problem = ImageStatusText(listing.header_status);
  const bool walkable = view.size() >= kImageHeaderSize &&
                        std::memcmp(view.Header().signature, kImageSignature, kImageSignatureSize) == 0;
  if (view.size() >= kImageHeaderSize) {
    listing.has_header = true;
    listing.header = view.Header();
  }
  if (!walkable) {
    if (summary) summary(listing);
    return listing;
  }

  ImageIndex index(view);
  listing.entry_count = index.entry_count();
  listing.too_many_entries = index.too_many_entries();
  listing.walk_status = index.walk_status();
  listing.directory_complete = index.walk_status() == ImageStatus::kOk && !index.too_many_entries();
  listing.sharing_entries = index.sharing_entries();
  listing.repeated_names = index.repeated_names();
  {
    ImageDirectoryCursor cursor(view);
    ImageEntry entry;
    for (std::uint32_t i = 0; i < listing.entry_count && cursor.Next(entry); ++i) {
      const ListedEntry listed = CheckEntry(index, i, entry);
      listing.data_bytes += entry.data_size;
      if (listing.problem.empty()) listing.problem = EntryProblem(listed);
    }
  }
  if (listing.problem.empty() && listing.too_many_entries) {
    listing.problem = "more than " + std::to_string(kMaxImageEntries) + " entries";
  }
  if (listing.problem.empty() && listing.walk_status != ImageStatus::kOk) {
    listing.problem = ImageStatusText(listing.walk_status);
  }
  if (summary) summary(listing);
  if (visit) {
    ImageDirectoryCursor cursor(view);
    ImageEntry entry;
    for (std::uint32_t i = 0; i < listing.entry_count && cursor.Next(entry); ++i) visit(CheckEntry(index, i, entry));
  }
  return listing;
}

}  // namespace sfx
