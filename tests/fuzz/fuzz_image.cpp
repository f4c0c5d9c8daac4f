// Fuzz target: acceptance and directory walk of an unpacked payload image
// (PayloadImageView::CheckHeader, ImageDirectoryCursor with its entry
// checks) and the entry name rule (IsSafeEntryName).
//
// Input layout: byte 0 is the mode (bit 0: recompute the header and
// directory CRCs; bit 1: also every reachable entry's data CRC), the rest is
// the image. The directory is walked even when the header checks fail, since
// the cursor must keep its reads inside the image for any directory.
// Properties: no read outside the image (exact-size heap copy), a walk that
// only moves forward, entries and data that the view accepts lie inside the
// image, and every accepted name stays below the working folder.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "payload/crc32.h"
#include "payload/image_directory_cursor.h"
#include "payload/payload_format.h"
#include "support/payload_samples.h"

namespace {

void CheckName(const char* name) {
  if (sfx::IsSafeEntryName(name))
    sfx::fuzz::Require(sfx::fuzz::StaysBelowFolder(name), "a safe name stays below its folder");
}

void WalkDirectory(const sfx::PayloadImageView& view, std::size_t size) {
  const sfx::ImageHeader header = view.Header();
  sfx::ImageDirectoryCursor cursor(view);
  sfx::ImageEntry entry;
  // Every accepted entry advances by at least 25 bytes, so a sound walk
  // takes fewer steps than this; more would mean the directory loops.
  const std::size_t max_steps = size / sfx::kImageEntryFixedSize + 2;
  std::uint64_t previous_end = 0;
  for (std::size_t step = 0; step < max_steps; ++step) {
    if (!cursor.Next(entry)) {
      sfx::fuzz::Require(!cursor.Next(entry), "an ended walk stays ended");
      return;
    }
    const std::uint64_t entry_end = std::uint64_t{entry.offset} + sfx::kImageEntryFixedSize + entry.name_area_length;
    sfx::fuzz::Require(step == 0 ? entry.offset == header.dir_offset : entry.offset == previous_end,
                       "each entry starts where the previous one ended");
    sfx::fuzz::Require(entry.name_area_length != 0 && entry_end <= size, "the walk moves forward inside the image");
    previous_end = entry_end;
    const auto* name = reinterpret_cast<const std::uint8_t*>(entry.name);
    sfx::fuzz::Require(name == view.data() + entry.offset + sfx::kImageEntryFixedSize, "name follows the fixed part");
    sfx::fuzz::Require(std::memchr(name, 0, view.data() + size - name) != nullptr, "name ends inside the image");
    CheckName(entry.name);
    const sfx::ImageStatus status = cursor.CheckEntry(entry);
    if (status == sfx::ImageStatus::kOk) {
      const std::uint64_t end = std::uint64_t{entry.data_offset} + entry.data_size;
      sfx::fuzz::Require(end <= size && end <= header.data_end, "accepted data lies inside the image and data_end");
      sfx::fuzz::Require(sfx::IsSafeEntryName(entry.name), "an accepted entry has a safe name");
      sfx::fuzz::Require(cursor.EntryData(entry) == view.data() + entry.data_offset, "entry data at data_offset");
    }
  }
  sfx::fuzz::Require(false, "directory walk does not end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::vector<std::uint8_t> image(data + 1, data + size);
  if ((data[0] & 3) != 0) sfx::fuzz::FixImageCrcs(image, (data[0] & 2) != 0);

  // The name rule on the raw input as one text, too.
  std::vector<char> text(data + 1, data + size);
  text.push_back('\0');
  CheckName(text.data());

  // Exact-size heap copy, so that a read past the image is caught.
  auto* copy = static_cast<std::uint8_t*>(std::malloc(image.empty() ? 1 : image.size()));
  sfx::fuzz::Require(copy != nullptr, "test buffer");
  if (!image.empty()) std::memcpy(copy, image.data(), image.size());
  const sfx::PayloadImageView view(copy, image.size(), sfx::test::SharedCrcTable());
  const sfx::ImageStatus status = view.CheckHeader();
  if (image.size() < sfx::kImageHeaderSize) {
    sfx::fuzz::Require(status != sfx::ImageStatus::kOk, "an image shorter than its header is refused");
  } else {
    WalkDirectory(view, image.size());
  }
  std::free(copy);
  return 0;
}
