// Extraction. After the header checks, the directory index is built and
// checked as a whole (refused before anything is written). Each entry's name
// and data are checked right before its file is written; the writing itself
// (image_extractor_files.h) follows no link below the target folder and
// creates every file afresh. Names in messages go through PrintableName.
#include "packer/image_extractor.h"

#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "packer/codepage_1252.h"
#include "packer/entry_name_text.h"
#include "packer/host_path.h"
#include "packer/image_extractor_files.h"
#include "packer/image_index.h"
#include "packer/image_listing.h"
#include "packer/pack_error.h"
#include "packer/payload_block.h"
#include "packer/payload_file.h"
#include "payload/crc32.h"
#include "payload/image_directory_cursor.h"

namespace sfx {

namespace fs = std::filesystem;

namespace {

// At most this many written files are named when an extraction fails.
constexpr std::size_t kNamedWrittenFiles = 10;

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

// Refuses a directory that the index finds wrong as a whole.
void CheckDirectory(const PayloadImageView& view, const ImageIndex& index) {
  if (index.too_many_entries()) Corrupt("more than " + std::to_string(kMaxImageEntries) + " entries");
  if (index.repeated_names() != 0) {
    Corrupt("the entry name " + QuotedEntryName(view, index.first_repeat()) + " appears more than once");
  }
  const DataOverlap& overlap = index.overlap();
  if (overlap.result == DataOverlap::Result::kFound) {
    Corrupt("the data of entries " + QuotedEntryName(view, overlap.first) + " and " +
            QuotedEntryName(view, overlap.second) + " overlap");
  }
}

// The target folder, created when missing; refused when it holds anything
// and `replace` is not set.
fs::path PrepareTarget(const fs::path& dir, bool replace) {
  std::error_code error;
  const bool existed = fs::exists(fs::symlink_status(dir, error));
  if (!existed) {
    fs::create_directories(dir, error);
    if (error) throw PackError("cannot create the folder " + QuotedPath(dir) + " (" + error.message() + ")");
  }
  const fs::path root = fs::canonical(dir, error);
  if (error || !fs::is_directory(root, error)) {
    throw PackError("cannot use " + QuotedPath(dir) + " as the target folder" +
                    (error ? " (" + error.message() + ")" : std::string(": it is not a folder")));
  }
  if (existed && !replace && !fs::is_empty(root, error)) {
    throw PackError("the folder " + QuotedPath(dir) +
                    " is not empty; extract into a new or empty folder, or pass --force to replace its files");
  }
  return ExtendedLengthPath(root);
}

// Which files an extraction has written, for the message when it fails.
class WrittenFiles {
 public:
  void Add(const std::string& name) {
    if (names_.size() < kNamedWrittenFiles) names_.push_back(name);
    ++count_;
  }
  std::size_t count() const { return count_; }
  // " (N files were written before: "a", "b" and N more)", or "".
  std::string Note() const {
    if (count_ == 0) return "; no file was written";
    std::string note = "; " + std::to_string(count_) + (count_ == 1 ? " file was" : " files were") + " written: ";
    for (std::size_t i = 0; i < names_.size(); ++i) note += (i == 0 ? "\"" : ", \"") + PrintableName(names_[i]) + "\"";
    if (count_ > names_.size()) note += " and " + std::to_string(count_ - names_.size()) + " more";
    return note;
  }

 private:
  std::vector<std::string> names_;
  std::size_t count_ = 0;
};

// Why an entry may not be written, or an empty string.
std::string EntryProblem(ImageIndex& index, const ImageEntry& entry) {
  const std::string quoted = "\"" + PrintableName(entry.name) + "\"";
  if (!IsSafeEntryName(entry.name)) return std::string(ImageStatusText(ImageStatus::kUnsafeName)) + " " + quoted;
  if (HasDeviceNameComponent(entry.name)) return std::string(ImageStatusText(ImageStatus::kDeviceName)) + " " + quoted;
  if (HasWindowsForbiddenCharacter(entry.name)) return "name that Windows cannot create " + quoted;
  const ImageStatus status = index.CheckData(entry);
  if (status != ImageStatus::kOk) return std::string(ImageStatusText(status)) + " in " + quoted;
  return {};
}

}  // namespace

ExtractSummary ExtractImage(const PayloadImageView& view, const fs::path& dir, const ExtractProgress& progress,
                            const ExtractOptions& options) {
  const ImageStatus header_status = view.CheckHeader();
  if (header_status != ImageStatus::kOk) Corrupt(ImageStatusText(header_status));
  std::unique_ptr<ImageIndex> index;
  try {
    index = std::make_unique<ImageIndex>(view);
  } catch (const std::bad_alloc&) {
    throw PackError("not enough memory to check the directory");
  }
  CheckDirectory(view, *index);
  const fs::path root = PrepareTarget(dir, options.replace);

  ExtractSummary summary;
  WrittenFiles written;
  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  while (cursor.Next(entry)) {
    const std::string name = entry.name;
    const std::string problem = EntryProblem(*index, entry);
    if (!problem.empty()) Corrupt(problem + written.Note());
    try {
      WriteFileBelow(root, HostParts(name), cursor.EntryData(entry), entry.data_size, options.replace);
    } catch (const PackError& error) {
      throw PackError(error.what() + written.Note());
    }
    written.Add(name);
    summary.files += 1;
    summary.bytes += entry.data_size;
    if (progress) progress(summary.bytes);
  }
  if (cursor.status() != ImageStatus::kOk) Corrupt(ImageStatusText(cursor.status()) + written.Note());
  return summary;
}

ExtractSummary ExtractPayloadFile(const fs::path& path, const fs::path& dir, const ProgressReport& progress,
                                  const ExtractOptions& options) {
  std::vector<std::uint8_t> image;
  ExtractSummary summary;
  {
    const PayloadFile file = ReadPayloadFile(path);
    image = DecodePayloadFile(file, progress);
    summary.kind = file.kind;
    summary.block_offset = file.block_offset;
  }
  CrcTable table;
  BuildCrcTable(table);
  const std::uint64_t total = image.size();
  ExtractProgress write_progress;
  if (progress) {
    write_progress = [&progress, total](std::uint64_t written) { progress(ProgressStage::kWriting, written, total); };
  }
  const ExtractSummary result =
      ExtractImage(PayloadImageView(image.data(), image.size(), table), dir, write_progress, options);
  summary.files = result.files;
  summary.bytes = result.bytes;
  if (progress) progress(ProgressStage::kWriting, total, total);
  return summary;
}

}  // namespace sfx
