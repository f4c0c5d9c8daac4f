// The real file-system calls behind FileOps.
#include "payload/worker/file_ops.h"

namespace sfx {
namespace {

HANDLE OpenForWrite(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

BOOL CreateFolder(const char* path) { return CreateDirectoryA(path, nullptr); }

BOOL WriteChunk(HANDLE file, const void* data, DWORD size, DWORD* written) {
  return WriteFile(file, data, size, written, nullptr);
}

void CloseFile(HANDLE file) { CloseHandle(file); }

const FileOps kPlatformFileOps = {OpenForWrite, CreateFolder, WriteChunk, CloseFile};

}  // namespace

const FileOps& PlatformFileOps() { return kPlatformFileOps; }

}  // namespace sfx
