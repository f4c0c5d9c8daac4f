// FileOps: the four file-system calls of WriteEntryFile, as a table so that
// tests can count and inspect them while still reaching the real calls.
#pragma once

#include <windows.h>

namespace sfx {

// The platform calls that writing one extracted file makes.
struct FileOps {
  // CreateFileA for writing: CREATE_ALWAYS, read sharing, sequential scan.
  HANDLE (*open_for_write)(const char* path);
  // CreateDirectoryA with default security.
  BOOL (*create_folder)(const char* path);
  // One WriteFile call.
  BOOL (*write)(HANDLE file, const void* data, DWORD size, DWORD* written);
  // CloseHandle.
  void (*close)(HANDLE file);
};

// The table of the real calls.
const FileOps& PlatformFileOps();

}  // namespace sfx
