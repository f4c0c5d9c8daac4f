// Directory walk of an unpacked image (see image_directory_cursor.h).
#include "payload/image_directory_cursor.h"

namespace sfx {

ImageDirectoryCursor::ImageDirectoryCursor(const PayloadImageView& view)
    : view_(view), offset_(view.Header().dir_offset) {}

bool ImageDirectoryCursor::Next(ImageEntry& entry) {
  if (ended_) return false;
  bool at_end = false;
  std::uint32_t next_offset = 0;
  status_ = view_.ReadEntry(offset_, entry, &at_end, &next_offset);
  if (status_ != ImageStatus::kOk || at_end) {
    ended_ = true;
    return false;
  }
  offset_ = next_offset;
  return true;
}

ImageStatus ImageDirectoryCursor::CheckEntry(const ImageEntry& entry) const {
  if (!IsSafeEntryName(entry.name)) return ImageStatus::kUnsafeName;
  if (HasDeviceNameComponent(entry.name)) return ImageStatus::kDeviceName;
  return view_.CheckEntryData(entry);
}

}  // namespace sfx
