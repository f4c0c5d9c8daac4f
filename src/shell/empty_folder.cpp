// Emptying the working folder before extraction.
//
// The folder is enumerated with FindFirstFileA/FindNextFileA on the pattern
// "<path>\*.*". Each file is deleted; each sub-folder is emptied recursively
// and then removed (the removal is attempted even when emptying it failed).
// An entry with FILE_ATTRIBUTE_REPARSE_POINT (a junction or a symbolic link)
// is removed as the link itself, never followed, so a link planted in the
// temp folder cannot make the stub delete files elsewhere.
#include "shell/empty_folder.h"

#include <windows.h>

#include <cstring>

#include "shell/support_layer.h"

namespace sfx {
namespace {

// "<a><b>" in a new path string, or null when memory runs out.
char* JoinPath(const char* a, std::size_t a_length, const char* b) {
  const std::size_t b_length = std::strlen(b);
  char* joined = AllocPathString(a_length + b_length + 1);
  if (joined == nullptr) return nullptr;
  std::memcpy(joined, a, a_length);
  std::memcpy(joined + a_length, b, b_length + 1);
  return joined;
}

bool IsDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// Removes one enumerated entry at `full_path`; true when it is gone.
bool RemoveEntry(const char* full_path, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return RemoveDirectoryA(full_path) != 0;
    return DeleteFileA(full_path) != 0;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    const bool emptied = EmptyFolder(full_path);
    const bool removed = RemoveDirectoryA(full_path) != 0;
    return emptied && removed;
  }
  return DeleteFileA(full_path) != 0;
}

}  // namespace

bool EmptyFolder(const char* path) {
  const std::size_t path_length = std::strlen(path);
  const bool has_backslash = path_length > 0 && path[path_length - 1] == '\\';
  char* folder = JoinPath(path, path_length, has_backslash ? "" : "\\");
  if (folder == nullptr) return false;
  const std::size_t folder_length = std::strlen(folder);
  char* pattern = JoinPath(folder, folder_length, "*.*");
  if (pattern == nullptr) {
    FreePathString(folder);
    return false;
  }

  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  FreePathString(pattern);
  if (search == INVALID_HANDLE_VALUE) {
    FreePathString(folder);
    return true;  // a missing or empty folder: nothing to delete
  }

  bool all_removed = true;
  do {
    if (IsDotEntry(found.cFileName)) continue;
    char* full_path = JoinPath(folder, folder_length, found.cFileName);
    if (full_path == nullptr) {
      all_removed = false;
      break;
    }
    const bool removed = RemoveEntry(full_path, found.dwFileAttributes);
    FreePathString(full_path);
    all_removed = all_removed && removed;
  } while (FindNextFileA(search, &found));

  FindClose(search);
  FreePathString(folder);
  return all_removed;
}

}  // namespace sfx
