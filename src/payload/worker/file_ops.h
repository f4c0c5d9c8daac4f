// FileOps: the file-system calls of WriteEntryFile and HoldWrittenFile, as a
// table so that tests can count and inspect them while still reaching the
// real calls. Paths are UTF-16 (the wide Win32 calls).
#pragma once

#include <windows.h>

namespace sfx {

// The platform calls that writing one extracted file makes.
struct FileOps {
  // CreateFileW for writing: CREATE_ALWAYS, read sharing, sequential scan.
  HANDLE (*open_for_write)(const wchar_t* path);
  // CreateDirectoryW with default security: the new folder inherits the
  // working folder's access list.
  BOOL (*create_folder)(const wchar_t* path);
  // One WriteFile call.
  BOOL (*write)(HANDLE file, const void* data, DWORD size, DWORD* written);
  // CloseHandle.
  void (*close)(HANDLE file);
  // CreateFileW of an existing file for reading, shared for reading only
  // and without following a link; INVALID_HANDLE_VALUE also when the name
  // is a link (a reparse point).
  HANDLE (*open_for_reading)(const wchar_t* path);
  // One ReadFile call.
  BOOL (*read)(HANDLE file, void* data, DWORD size, DWORD* read);
};

// The table of the real calls.
const FileOps& PlatformFileOps();

// From now on the real calls make and open files only below `folder`, an
// open handle of the folder at `path` (with its trailing backslash; the text
// must stay in place): a path that does not lie below it fails, and every
// name on the way is opened relative to its parent without following a
// link, so a link planted at a sub-folder's name fails the call instead of
// leading elsewhere. A null `folder` goes back to plain paths.
void SetFileRoot(HANDLE folder, const wchar_t* path);

}  // namespace sfx
