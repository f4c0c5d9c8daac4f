// Collects the files of a folder as payload entries.
//
// Every regular file under the folder becomes one entry, named by its path
// relative to the folder in Windows-1252 with backslashes. Symbolic links
// are refused, wherever they point: following them could pack files from
// outside the folder, or the same file twice. Empty folders cannot be
// represented (an image holds files only) and give a warning.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sfx {

// One file found under the folder.
struct ScannedFile {
  std::filesystem::path source;  // host path of the file
  std::string name;              // entry name, Windows-1252
  std::uint64_t size = 0;
};

// The files of a folder, in no particular order, and the warnings met.
struct FolderScan {
  std::vector<ScannedFile> files;
  std::vector<std::string> warnings;
};

// Scans `dir`. Throws PackError listing every problem found (names that do
// not convert, break the name rules or clash, symbolic links, special
// files, unreadable folders) when there is at least one.
FolderScan ScanFolder(const std::filesystem::path& dir);

}  // namespace sfx
