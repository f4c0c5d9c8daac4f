// Folder listing on Windows (see folder_listing.h): FindFirstFileW and
// FindNextFileW, which take the \\?\ form of a path at any length. A
// reparse point (symbolic link, junction) counts as a link.
#include <windows.h>

#include <system_error>

#include "packer/folder_listing.h"

namespace sfx {

namespace fs = std::filesystem;

namespace {

std::string LastErrorText() {
  std::string text = std::system_category().message(static_cast<int>(GetLastError()));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return text;
}

}  // namespace

bool ListFolder(const fs::path& folder, std::vector<FolderItem>* items, std::string* error) {
  const std::wstring pattern = (folder / L"*").wstring();
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;  // no items at all
    *error = LastErrorText();
    return false;
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderItem item;
    item.name = fs::path(name);
    const DWORD attributes = found.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      item.kind = FolderItem::Kind::kLink;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      item.kind = FolderItem::Kind::kFolder;
    } else if ((attributes & FILE_ATTRIBUTE_DEVICE) == 0) {
      item.kind = FolderItem::Kind::kFile;
      item.size = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    }
    items->push_back(std::move(item));
  } while (FindNextFileW(search, &found));
  const DWORD last = GetLastError();
  FindClose(search);
  if (last != ERROR_NO_MORE_FILES) {
    SetLastError(last);
    *error = LastErrorText();
    return false;
  }
  return true;
}

}  // namespace sfx
