// The real file-system calls behind FileOps. With a held root folder
// (SetFileRoot) every path is opened below that folder's handle, one name at
// a time and without following links (relative_files.h); without one, by
// its path, in the long form where it needs it (long_path.h).
#include "payload/worker/file_ops.h"

#include <cwchar>

#include "payload/worker/long_path.h"
#include "payload/worker/relative_files.h"

namespace sfx {
namespace {

// The held working folder that every file and folder is made in (null: none
// is held, paths are used as they are) and its path with the trailing
// backslash.
HANDLE root_folder = nullptr;
const wchar_t* root_path = nullptr;
std::size_t root_length = 0;

// OpenRelative below the held folder for a path below it; nothing is
// opened or made for a path that does not lie below it.
HANDLE OpenBelowRoot(const wchar_t* path, RelativeOpen how) {
  if (std::wcsncmp(path, root_path, root_length) != 0 || path[root_length] == L'\0') {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return OpenRelative(root_folder, path, root_length, how);
}

HANDLE OpenForWrite(const wchar_t* path) {
  if (root_folder != nullptr) return OpenBelowRoot(path, RelativeOpen::kCreateFile);
  return CreateFileW(ExtendedPath(path).get(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

BOOL CreateFolder(const wchar_t* path) {
  if (root_folder == nullptr) return CreateDirectoryW(ExtendedPath(path).get(), nullptr);
  HANDLE folder = OpenBelowRoot(path, RelativeOpen::kCreateFolder);
  if (folder == INVALID_HANDLE_VALUE) return FALSE;
  CloseHandle(folder);
  return TRUE;
}

BOOL WriteChunk(HANDLE file, const void* data, DWORD size, DWORD* written) {
  return WriteFile(file, data, size, written, nullptr);
}

void CloseFile(HANDLE file) { CloseHandle(file); }

HANDLE OpenForReading(const wchar_t* path) {
  if (root_folder != nullptr) return OpenBelowRoot(path, RelativeOpen::kReadFile);
  HANDLE file = CreateFileW(ExtendedPath(path).get(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

BOOL ReadChunk(HANDLE file, void* data, DWORD size, DWORD* read) { return ReadFile(file, data, size, read, nullptr); }

const FileOps kPlatformFileOps = {OpenForWrite, CreateFolder, WriteChunk, CloseFile, OpenForReading, ReadChunk};

}  // namespace

const FileOps& PlatformFileOps() { return kPlatformFileOps; }

void SetFileRoot(HANDLE folder, const wchar_t* path) {
  root_folder = folder;
  root_path = path;
  root_length = path != nullptr ? std::wcslen(path) : 0;
}

}  // namespace sfx
