// Collects the files of a folder as payload entries.
//
// Every regular file under the folder becomes one entry, named by its path
// relative to the folder in Windows-1252 with backslashes. Symbolic links
// are refused, wherever they point: following them could pack files from
// outside the folder, or the same file twice. Empty folders cannot be
// represented (an image holds files only) and give a warning.
//
// Files and folders that match an exclude pattern are left out (a folder
// with everything below it). A pattern is a glob with * (any run of
// characters) and ? (one character), compared without regard to ASCII
// letter case: without a '/' it is matched against every file and folder
// name, with one against the path relative to the folder, '/' separated.
// Files that are almost never meant to ship (.git/, Thumbs.db, .DS_Store,
// desktop.ini, *.pdb) are packed when not excluded, with a warning that
// names --exclude.
//
// On Windows the folder is read through its \\?\ form, so a path of any
// length reaches the right files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
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
  std::size_t excluded = 0;  // files and folders left out by the patterns
};

// True when `pattern` matches `text` by the rules above (* and ?, ASCII
// letter case ignored).
bool GlobMatches(std::string_view pattern, std::string_view text);

// Scans `dir`. Throws PackError listing every problem found (names that do
// not convert, break the name rules or clash, symbolic links, special
// files, unreadable folders) when there is at least one.
FolderScan ScanFolder(const std::filesystem::path& dir, const std::vector<std::string>& excludes = {});

}  // namespace sfx
