// The listing of an installer or payload block file: where its payload lies
// and what its decoded image holds, entry by entry (see ListImage).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "packer/image_listing.h"
#include "packer/payload_file.h"
#include "packer/progress_report.h"

namespace sfx {

// What ListPayloadFile found.
struct PayloadFileListing {
  PayloadFileKind kind = PayloadFileKind::kPayloadBlock;
  std::size_t block_offset = 0;     // first byte of the EmbeddedPayload header
  std::uint32_t packed_size = 0;    // P
  std::uint32_t unpacked_size = 0;  // U
  std::string stub_sha256;          // see PayloadFile::stub_sha256
  ImageListing image;               // as far as the image can be read
};

// Reads the file at `path`, decodes its payload (ProgressStage::kDecoding
// reports) and lists the image. Throws PackError when the file cannot be
// read or carries no payload; a corrupt image is listed, not thrown
// (image.ok() is false).
PayloadFileListing ListPayloadFile(const std::filesystem::path& path, const ProgressReport& progress);

}  // namespace sfx
