// The real file-system calls behind FileOps.
#include "payload/worker/file_ops.h"

namespace sfx {
namespace {

HANDLE OpenForWrite(const wchar_t* path) {
  return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

BOOL CreateFolder(const wchar_t* path) { return CreateDirectoryW(path, nullptr); }

BOOL WriteChunk(HANDLE file, const void* data, DWORD size, DWORD* written) {
  return WriteFile(file, data, size, written, nullptr);
}

void CloseFile(HANDLE file) { CloseHandle(file); }

HANDLE OpenForReading(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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

}  // namespace sfx
