// Emptying the working folder before extraction.
//
// The folder is enumerated with FindFirstFileW/FindNextFileW on the pattern
// "<path>\*.*". Each file is deleted; each sub-folder is emptied recursively
// and then removed (the removal is attempted even when emptying it failed).
// An entry with FILE_ATTRIBUTE_REPARSE_POINT (a junction or a symbolic link)
// is removed as the link itself, never followed, so a link planted in the
// folder cannot make the stub delete files elsewhere. The first entry that
// stays is remembered for the caller's message: the deepest one, the entry
// that actually blocks, since a folder is emptied before it is removed.
// Read-only attributes (of the folder itself and of everything in it) are
// cleared, so only an entry that really cannot go (one held open, for
// instance) stays.
#include "shell/empty_folder.h"

#include <windows.h>

#include <cwchar>

#include "payload/worker/long_path.h"

#include "shell/support_layer.h"

namespace sfx {
namespace {

// "<a><b>" in a new path string, or null when memory runs out.
wchar_t* JoinPath(const wchar_t* a, std::size_t a_length, const wchar_t* b) {
  const std::size_t b_length = std::wcslen(b);
  wchar_t* joined = AllocPathString(a_length + b_length + 1);
  if (joined == nullptr) return nullptr;
  std::wmemcpy(joined, a, a_length);
  std::wmemcpy(joined + a_length, b, b_length + 1);
  return joined;
}

bool IsDotEntry(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

// Copies `path` into `leftover` unless it is absent or holds a path already
// (the first leftover is the one reported); cut to kLeftoverPathSize units.
void NoteLeftover(wchar_t* leftover, const wchar_t* path) {
  if (leftover == nullptr || leftover[0] != L'\0') return;
  std::wcsncpy(leftover, path, kLeftoverPathSize - 1);
  leftover[kLeftoverPathSize - 1] = L'\0';
}

// Clears the read-only attribute of the file or folder `path` when
// `attributes` show it, so that it can be deleted (and, for a folder, so
// that its entries can). Through a handle that does not follow a link, and
// only when that handle shows no link: the attributes of whatever a link
// points at stay as they are.
void ClearReadOnly(const wchar_t* path, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return;
  HANDLE handle = CreateFileW(ExtendedPath(path).get(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  FILE_BASIC_INFO info;
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof(info)) &&
      (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    // Zero times leave the file's times alone; FILE_ATTRIBUTE_NORMAL stands
    // for "no attributes", which 0 would mean "unchanged".
    info.CreationTime.QuadPart = info.LastAccessTime.QuadPart = 0;
    info.LastWriteTime.QuadPart = info.ChangeTime.QuadPart = 0;
    info.FileAttributes &= ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof(info));
  }
  CloseHandle(handle);
}

// Removes one enumerated entry at `full_path`; true when it is gone. A
// read-only file or folder is made writable first: the folder is the
// stub's own, and a leftover must not stop every later run.
bool RemoveEntry(const wchar_t* full_path, DWORD attributes, wchar_t* leftover) {
  ClearReadOnly(full_path, attributes);
  bool removed;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // The link itself; a link to a folder is removed as a folder.
    removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(ExtendedPath(full_path).get()) != 0
                                                           : DeleteFileW(ExtendedPath(full_path).get()) != 0;
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    const bool emptied = EmptyFolder(full_path, leftover);
    removed = RemoveDirectoryW(ExtendedPath(full_path).get()) != 0 && emptied;
  } else {
    removed = DeleteFileW(ExtendedPath(full_path).get()) != 0;
  }
  if (!removed) NoteLeftover(leftover, full_path);
  return removed;
}

// True when `name` (a folder's path without trailing backslash) is a real
// folder and `pin` holds it: neither the handle nor the name shows a link.
// The name is asked too because some file systems (Wine's view of Unix
// symbolic links) open the target even when told not to follow links.
bool IsPinnedRealFolder(const wchar_t* name, HANDLE pin) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(pin, &info)) return false;
  const DWORD by_name = GetFileAttributesW(ExtendedPath(name).get());
  if (by_name == INVALID_FILE_ATTRIBUTES) return false;
  const DWORD attributes = info.dwFileAttributes | by_name;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Enumerates the pinned folder `folder` (its path with a trailing
// backslash, `folder_length` units) and removes every entry.
bool EmptyPinnedFolder(const wchar_t* path, wchar_t* folder, std::size_t folder_length, wchar_t* leftover) {
  wchar_t* pattern = JoinPath(folder, folder_length, L"*.*");
  if (pattern == nullptr) {
    NoteLeftover(leftover, path);
    return false;
  }

  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(ExtendedPath(pattern).get(), &found);
  FreePathString(pattern);
  if (search == INVALID_HANDLE_VALUE) return true;  // an empty folder: nothing to delete

  bool all_removed = true;
  do {
    if (IsDotEntry(found.cFileName)) continue;
    wchar_t* full_path = JoinPath(folder, folder_length, found.cFileName);
    if (full_path == nullptr) {
      NoteLeftover(leftover, path);
      all_removed = false;
      break;
    }
    const bool removed = RemoveEntry(full_path, found.dwFileAttributes, leftover);
    FreePathString(full_path);
    all_removed = all_removed && removed;
  } while (FindNextFileW(search, &found));

  FindClose(search);
  return all_removed;
}

}  // namespace

bool EmptyFolder(const wchar_t* path, wchar_t* leftover) {
  const std::size_t path_length = std::wcslen(path);
  const bool has_backslash = path_length > 0 && path[path_length - 1] == L'\\';
  wchar_t* folder = JoinPath(path, path_length, has_backslash ? L"" : L"\\");
  if (folder == nullptr) {
    NoteLeftover(leftover, path);
    return false;
  }
  const std::size_t folder_length = std::wcslen(folder);
  // The folder's own name, without the backslash (which would make the
  // name lookup follow a link), while it is pinned and checked.
  folder[folder_length - 1] = L'\0';
  // The folder is held open, without following a link and without delete
  // sharing, while it is walked: it cannot be renamed or replaced by a link
  // meanwhile, so the enumeration by name stays inside it.
  HANDLE pin = CreateFileW(ExtendedPath(folder).get(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  bool emptied;
  if (pin == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    emptied = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;  // missing: nothing to delete
  } else {
    emptied = IsPinnedRealFolder(folder, pin);  // a link is never walked into
    if (emptied) ClearReadOnly(folder, GetFileAttributesW(ExtendedPath(folder).get()));
    folder[folder_length - 1] = L'\\';
    if (emptied) emptied = EmptyPinnedFolder(path, folder, folder_length, leftover);
    CloseHandle(pin);
  }
  if (!emptied) NoteLeftover(leftover, path);
  FreePathString(folder);
  return emptied;
}

}  // namespace sfx
