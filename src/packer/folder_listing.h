// The items of one folder, read the host's way: std::filesystem on POSIX
// systems (folder_listing_posix.cpp), FindFirstFileW on Windows
// (folder_listing_win32.cpp), where the C library's folder calls do not take
// \\?\ paths and so cannot read a folder whose path passes 260 characters.
// Links are reported as links, never followed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sfx {

struct FolderItem {
  enum class Kind { kFile, kFolder, kLink, kOther };
  std::filesystem::path name;  // the item's own name, not a path
  Kind kind = Kind::kOther;
  std::uint64_t size = 0;  // files only
};

// The items of `folder` without "." and "..", in no particular order. False
// with the system's reason in `*error` when the folder cannot be read, or
// an item cannot be examined.
bool ListFolder(const std::filesystem::path& folder, std::vector<FolderItem>* items, std::string* error);

}  // namespace sfx
