// Packs a folder into an installer or a payload block file.
//
// The steps, in order: refuse an output file inside the folder; read the
// stub and check that it is a PE file (with a stub only); scan the folder;
// refuse a folder without a top-level Setup.exe (the name the installer
// launches; allow_no_setup overrides); parse a top-level Setup.cfg as the
// installer will; put the entries in the
// default order or the order of an order file; build the image; compress and
// scramble it into a payload block; decode the block again and compare it
// with the image; join stub and block and find the block again where it was
// put; write the output file. Nothing is written when any step fails, and
// the output file is written under a temporary name in its folder and
// renamed into place, so an existing file of that name is either kept whole
// or replaced whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "packer/installer_writer.h"
#include "packer/payload_file.h"
#include "packer/progress_report.h"

namespace sfx {

// What PackFolder packs, where it writes, and whom it tells on the way.
struct PackOptions {
  std::filesystem::path folder;       // every file below it becomes an entry
  std::filesystem::path output;       // the file to write
  std::filesystem::path stub;         // the installer stub; empty: a bare payload block file
  std::filesystem::path order_file;   // entries to put first; empty: the default order
  std::vector<std::string> excludes;  // glob patterns of files and folders to leave out (ScanFolder)
  int level = 6;                      // compression level, 1 to 9
  unsigned threads = 1;               // encoder threads (levels 7 to 9)
  bool allow_bad_config = false;      // pack a Setup.cfg that does not parse, with a warning
  bool allow_no_setup = false;        // pack a folder without a top-level Setup.exe, with a warning
  // The manifest's execution level; empty: the stub's manifest as it is.
  std::optional<ExecutionLevel> execution_level;
  // Called with each warning when it arises; may be empty.
  std::function<void(const std::string& text)> warn;
  // Called while the image is compressed (ProgressStage::kCompressing).
  ProgressReport progress;
};

// What PackFolder wrote.
struct PackResult {
  PayloadFileKind kind = PayloadFileKind::kPayloadBlock;
  std::size_t file_count = 0;    // entries in the image
  std::uint64_t file_bytes = 0;  // their data, all together
  std::size_t image_size = 0;    // U
  std::size_t packed_size = 0;   // P, the stream without the block header
  std::size_t stub_size = 0;     // installers: the stub's bytes up to the end of its sections
  std::size_t block_offset = 0;  // installers: where the payload block starts, after the marker
  std::size_t output_size = 0;   // bytes written
  std::string output_sha256;     // of the file written, 64 hex digits
  std::string stub_sha256;       // installers: of the stub file as read
  std::string architecture;      // installers: "win32", "win64" or the stub's PE machine in hex
  std::size_t excluded = 0;      // files and folders left out by `excludes`
};

// Packs `options.folder` into `options.output`. Throws PackError with a
// message for the user when a step fails.
PackResult PackFolder(const PackOptions& options);

}  // namespace sfx
