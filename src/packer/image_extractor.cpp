// Extraction. After the header checks, the directory is checked for entries
// that share data (refused before anything is written). Each entry's name
// and data are checked right before its file is written; the writing itself
// (image_extractor_files.h) follows no link below the target folder. Names
// in messages go through PrintableName.
#include "packer/image_extractor.h"

#include <string>
#include <system_error>
#include <vector>

#include "packer/codepage_1252.h"
#include "packer/entry_name_text.h"
#include "packer/host_path.h"
#include "packer/image_extractor_files.h"
#include "packer/pack_error.h"
#include "packer/payload_block.h"
#include "packer/payload_file.h"
#include "payload/crc32.h"
#include "payload/data_overlap.h"
#include "payload/image_directory_cursor.h"

namespace sfx {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Corrupt(const std::string& what) { throw PackError("corrupt payload: " + what); }

std::vector<std::string> SplitName(const std::string& name) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = name.find('\\', start);
    parts.push_back(name.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) return parts;
    start = slash + 1;
  }
}

// The UTF-8 host names of an entry name's components.
std::vector<std::string> HostParts(const std::string& name) {
  std::vector<std::string> parts;
  for (const std::string& part : SplitName(name)) parts.push_back(Cp1252ToUtf8(part));
  return parts;
}

// The name of the entry at position `index` of the directory, quoted.
std::string QuotedEntryName(const PayloadImageView& view, std::uint32_t index) {
  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  for (std::uint32_t i = 0; cursor.Next(entry); ++i) {
    if (i == index) return "\"" + PrintableName(entry.name) + "\"";
  }
  return "#" + std::to_string(index + 1);
}

// Refuses an image in which two entries share data bytes.
void CheckNoSharedData(const PayloadImageView& view) {
  const DataOverlap overlap = FindDataOverlap(view);
  if (overlap.result == DataOverlap::Result::kNoMemory) throw PackError("not enough memory to check the directory");
  if (overlap.result == DataOverlap::Result::kFound) {
    Corrupt("the data of entries " + QuotedEntryName(view, overlap.first) + " and " +
            QuotedEntryName(view, overlap.second) + " overlap");
  }
}

}  // namespace

ExtractSummary ExtractImage(const PayloadImageView& view, const fs::path& dir, const ExtractProgress& progress) {
  const ImageStatus header_status = view.CheckHeader();
  if (header_status != ImageStatus::kOk) Corrupt(ImageStatusText(header_status));
  CheckNoSharedData(view);

  std::error_code error;
  fs::create_directories(dir, error);
  const fs::path root = fs::canonical(dir, error);
  if (error || !fs::is_directory(root)) throw PackError("cannot use " + QuotedPath(dir) + " as the target folder");

  ExtractSummary summary;
  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  while (cursor.Next(entry)) {
    const std::string name = entry.name;
    const ImageStatus status = cursor.CheckEntry(entry);
    if (status != ImageStatus::kOk) {
      // unsafe entry name "x", or: entry data CRC does not match in "x"
      const bool about_name = status == ImageStatus::kUnsafeName || status == ImageStatus::kDeviceName;
      Corrupt(std::string(ImageStatusText(status)) + (about_name ? " \"" : " in \"") + PrintableName(name) + "\"");
    }
    WriteFileBelow(root, HostParts(name), cursor.EntryData(entry), entry.data_size);
    summary.files += 1;
    summary.bytes += entry.data_size;
    if (progress) progress(summary.bytes);
  }
  if (cursor.status() != ImageStatus::kOk) Corrupt(ImageStatusText(cursor.status()));
  return summary;
}

ExtractSummary ExtractPayloadFile(const fs::path& path, const fs::path& dir, const ProgressReport& progress) {
  const PayloadFile file = ReadPayloadFile(path);
  const std::vector<std::uint8_t> image = DecodePayloadFile(file, progress);
  CrcTable table;
  BuildCrcTable(table);
  const std::uint64_t total = image.size();
  ExtractProgress write_progress;
  if (progress) {
    write_progress = [&progress, total](std::uint64_t written) { progress(ProgressStage::kWriting, written, total); };
  }
  ExtractSummary summary = ExtractImage(PayloadImageView(image.data(), image.size(), table), dir, write_progress);
  summary.kind = file.kind;
  summary.block_offset = file.block_offset;
  if (progress) progress(ProgressStage::kWriting, total, total);
  return summary;
}

}  // namespace sfx
