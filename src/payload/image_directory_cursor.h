// The directory walk of an unpacked image, written once for every reader:
// the stub's extraction, and the packer's listing and extraction.
//
// The walk starts at the header's dir_offset and reads one entry per step
// with PayloadImageView::ReadEntry until the 0 word that ends the directory,
// or until an entry does not fit in the image. It makes no header check of
// its own: extraction walks only an image whose CheckHeader passed, while
// the listing also walks a directory whose CRCs failed.
//
// The walk always ends: ReadEntry accepts an entry only when its fixed part
// and its non-empty name area lie inside the image and the next entry's
// offset is a 32-bit value, so every step moves forward by at least 25
// bytes and stays inside the image.
#pragma once

#include <cstdint>

#include "payload/payload_format.h"

namespace sfx {

// A position in the directory of a PayloadImageView, moved by Next.
class ImageDirectoryCursor {
 public:
  // Starts at the first entry, at the header's dir_offset; `view` must hold
  // at least the 52 header bytes and outlive the cursor.
  explicit ImageDirectoryCursor(const PayloadImageView& view);

  // Reads the entry at the cursor into `entry` and moves past it. False once
  // the directory has ended (status() kOk) or an entry does not fit in the
  // image (status() says why); every later call is false too.
  bool Next(ImageEntry& entry);

  // kOk while the walk goes on and after the directory ended; otherwise why
  // the walk stopped early.
  ImageStatus status() const { return status_; }

  // The checks made on an entry right before its file is written, in this
  // order: the name (IsSafeEntryName, kUnsafeName; HasDeviceNameComponent,
  // kDeviceName), then the data
  // (PayloadImageView::CheckEntryData: bound against data_end, bound
  // against the image, data CRC). kOk means the entry may be written.
  ImageStatus CheckEntry(const ImageEntry& entry) const;

  // The first of the entry's data_size bytes; to be read only once
  // CheckEntry returned kOk.
  const std::uint8_t* EntryData(const ImageEntry& entry) const { return view_.data() + entry.data_offset; }

 private:
  const PayloadImageView& view_;
  std::uint32_t offset_;
  ImageStatus status_ = ImageStatus::kOk;
  bool ended_ = false;
};

}  // namespace sfx
