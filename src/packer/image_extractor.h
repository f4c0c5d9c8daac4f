// Writes the files of an unpacked image into a folder, checking the image
// the way the stub does: the header rules and the shared-data check first
// (nothing is written when one fails), then each entry's name, bound and CRC
// right before its file is written, so files of earlier entries remain when
// a later entry is corrupt.
//
// Names are Windows-1252 with backslash separators; each component becomes a
// UTF-8 host name. A name that the stub would refuse (unsafe, or a Windows
// device) marks the image as corrupt. No file or folder is created outside
// the target folder, and nothing is written through a link: a symbolic link
// on the way, or a link or hard-linked file in a file's place, is refused
// (image_extractor_files.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "packer/payload_file.h"
#include "packer/progress_report.h"
#include "payload/payload_format.h"

namespace sfx {

// Totals of a finished extraction.
struct ExtractSummary {
  std::size_t files = 0;
  std::uint64_t bytes = 0;
  PayloadFileKind kind = PayloadFileKind::kPayloadBlock;  // ExtractPayloadFile: what held the payload
  std::size_t block_offset = 0;                           // ExtractPayloadFile: where its block starts
};

// Called with the number of data bytes written so far.
using ExtractProgress = std::function<void(std::uint64_t written)>;

// Extracts into `dir` (created when missing). Throws PackError at the first
// failure: a corrupt image ("corrupt payload: ...", also for entries whose
// data overlap, naming both), an unsafe name, a link on the way or in a
// file's place, or a file that cannot be written.
ExtractSummary ExtractImage(const PayloadImageView& view, const std::filesystem::path& dir,
                            const ExtractProgress& progress);

// Reads the installer or payload block file at `path`, decodes its payload
// and extracts the image into `dir` as ExtractImage does. Reports
// ProgressStage::kDecoding, then ProgressStage::kWriting with the data bytes
// written out of the image's size, and finally the whole size (the image
// also holds its header and directory). Throws PackError as ReadPayloadFile
// and ExtractImage do.
ExtractSummary ExtractPayloadFile(const std::filesystem::path& path, const std::filesystem::path& dir,
                                  const ProgressReport& progress);

}  // namespace sfx
