// The listing of an installer or payload block file: where its payload lies
// and what its decoded image holds, entry by entry (see ListImage).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
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
  std::string loader_problem;       // see PayloadFile::loader_problem
  ImageListing image;               // as far as the image can be read

  // The first problem: the stub not finding its payload, else the image's.
  std::string problem() const { return loader_problem.empty() ? image.problem : loader_problem; }
  bool ok() const { return problem().empty(); }
};

// Reads the file at `path`, decodes its payload (ProgressStage::kDecoding
// reports) and lists the image: `summary` (when set) gets the listing
// before `visit` (when set) gets the entries, as ListImage hands them over.
// Throws PackError when the file cannot be read or carries no payload; a
// corrupt image is listed, not thrown (ok() is false). Holds the image and
// the index of ListImage, not the file.
PayloadFileListing ListPayloadFile(const std::filesystem::path& path, const ProgressReport& progress,
                                   const std::function<void(const PayloadFileListing&)>& summary = {},
                                   const ListedEntryVisitor& visit = {});

}  // namespace sfx
