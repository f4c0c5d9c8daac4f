// Extraction. Folders are created one component at a time from the target
// folder down, so that each existing component can be checked before it is
// entered: a symbolic link (or anything that is not a plain folder) stops the
// extraction. The parent folder of every file is then resolved and must lie
// inside the resolved target folder; this also catches links that the
// platform does not report as such (Windows junctions, for instance).
#include "packer/image_extractor.h"

#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "packer/codepage_1252.h"
#include "packer/host_path.h"
#include "packer/pack_error.h"
#include "packer/payload_block.h"
#include "packer/payload_file.h"
#include "payload/crc32.h"
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

bool IsInside(const fs::path& root, const fs::path& path) {
  const fs::path relative = path.lexically_relative(root);
  if (relative.empty()) return false;
  return relative == "." || *relative.begin() != "..";
}

// Creates or enters each folder of `parts` except the last and returns the
// file's path. `root` is the resolved target folder.
fs::path PrepareFilePath(const fs::path& root, const std::vector<std::string>& parts) {
  fs::path current = root;
  std::error_code error;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    current /= Utf8ToPath(Cp1252ToUtf8(parts[i]));
    const fs::file_status status = fs::symlink_status(current, error);
    if (fs::is_symlink(status)) throw PackError(QuotedPath(current) + " is a symbolic link; not following it");
    if (!fs::exists(status)) {
      if (!fs::create_directory(current, error) && error) {
        throw PackError("cannot create the folder " + QuotedPath(current) + " (" + error.message() + ")");
      }
    } else if (!fs::is_directory(status)) {
      throw PackError(QuotedPath(current) + " exists and is not a folder");
    }
  }
  const fs::path resolved_parent = fs::canonical(current, error);
  if (error || !IsInside(root, resolved_parent)) {
    throw PackError(QuotedPath(current) + " does not lie inside the target folder; not writing there");
  }
  fs::path file = current / Utf8ToPath(Cp1252ToUtf8(parts.back()));
  const fs::file_status status = fs::symlink_status(file, error);
  if (fs::is_symlink(status)) throw PackError(QuotedPath(file) + " is a symbolic link; not writing through it");
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    throw PackError(QuotedPath(file) + " exists and is not a file");
  }
  return file;
}

void WriteFile(const fs::path& path, const std::uint8_t* data, std::uint32_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw PackError("cannot create " + QuotedPath(path));
  if (size != 0) out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) throw PackError("cannot write " + QuotedPath(path));
}

}  // namespace

ExtractSummary ExtractImage(const PayloadImageView& view, const fs::path& dir, const ExtractProgress& progress) {
  const ImageStatus header_status = view.CheckHeader();
  if (header_status != ImageStatus::kOk) Corrupt(ImageStatusText(header_status));

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
      std::string what = ImageStatusText(status);
      what += status == ImageStatus::kUnsafeName ? " \"" : " in \"";
      Corrupt(what + Cp1252ToUtf8(name) + "\"");
    }
    const fs::path file = PrepareFilePath(root, SplitName(name));
    WriteFile(file, cursor.EntryData(entry), entry.data_size);
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
