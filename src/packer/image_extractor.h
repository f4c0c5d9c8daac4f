// Writes the files of an unpacked image into a folder, checking the image
// the way the stub does: the header rules and the directory as a whole
// first (ImageIndex: too many entries, repeated names, data that overlap
// partly; nothing is written when one fails), then each entry's name, bound
// and CRC right before its file is written, so files of earlier entries
// remain when a later entry is corrupt, and the message then names them.
// Entries that share their data exactly are written each, the CRC of the
// shared data computed once.
//
// Names are Windows-1252 with backslash separators; each component becomes a
// UTF-8 host name. A name that the stub would refuse (unsafe, or a Windows
// device) or that Windows cannot create marks the image as corrupt. The
// target folder must be missing or empty unless `replace` is set; files are
// always created afresh (image_extractor_files.h), so nothing is written
// through a link or into an existing file, and nothing outside the target
// folder is touched.
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

// How to treat what exists in the target folder.
struct ExtractOptions {
  // False: the folder must be missing or empty. True: existing files of the
  // same names are removed and created again.
  bool replace = false;
};

// Extracts into `dir` (created when missing). Throws PackError at the first
// failure: a corrupt image ("corrupt payload: ...", for entries whose data
// overlap partly naming both), a folder that is not empty, a link on the
// way, or a file that cannot be written; once files were written the
// message ends by naming them.
ExtractSummary ExtractImage(const PayloadImageView& view, const std::filesystem::path& dir,
                            const ExtractProgress& progress, const ExtractOptions& options = {});

// Reads the installer or payload block file at `path`, decodes its payload
// and extracts the image into `dir` as ExtractImage does. Reports
// ProgressStage::kDecoding, then ProgressStage::kWriting with the data bytes
// written out of the image's size, and finally the whole size (the image
// also holds its header and directory). Throws PackError as ReadPayloadFile
// and ExtractImage do.
ExtractSummary ExtractPayloadFile(const std::filesystem::path& path, const std::filesystem::path& dir,
                                  const ProgressReport& progress, const ExtractOptions& options = {});

}  // namespace sfx
