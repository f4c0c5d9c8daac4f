// Composition of the working folder (see work_folder.h).
#include "shell/work_folder.h"

#include <cwchar>
#include <initializer_list>

#include "payload/worker/long_path.h"
#include "payload/worker/stub_run.h"

namespace sfx {
namespace {

using GetTempPathFn = DWORD(WINAPI*)(DWORD, LPWSTR);

// GetTempPath2W (Windows 11 and recent Windows 10 builds) or GetTempPathW.
// Both take and return the same; for SYSTEM the first names
// %SystemRoot%\SystemTemp, which other users cannot write.
GetTempPathFn TempPathCall() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  // GetProcAddress returns a generic function pointer; the cast restores the
  // real signature of GetTempPath2W, which matches GetTempPathW's.
  FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "GetTempPath2W") : nullptr;
  if (found != nullptr) return reinterpret_cast<GetTempPathFn>(reinterpret_cast<void*>(found));
  return GetTempPathW;
}

// The temp path by the rule of the temp-path call (TMP, then TEMP, then
// USERPROFILE), read from the variables themselves. The call returns no
// path longer than MAX_PATH + 1 units; this takes any length.
DWORD TempPathFromVariables(wchar_t* path, DWORD size) {
  for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE"}) {
    const DWORD length = GetEnvironmentVariableW(name, path, size);
    if (length != 0 && length < size) return length;
  }
  return 0;
}

}  // namespace

bool ComposeWorkFolder(wchar_t* folder, DWORD buffer_size, DWORD result) {
  // On success the call returns the length without the terminator, which
  // is below the buffer size; a result of at least the buffer size is the
  // size it would have needed, and the buffer holds nothing usable then.
  if (result == 0 || result >= buffer_size || std::wcslen(folder) != result) return false;
  std::size_t length = result;
  const bool has_backslash = folder[length - 1] == L'\\';
  const std::size_t subfolder_length = sizeof(kWorkSubfolder) / sizeof(wchar_t) - 1;
  if (length + (has_backslash ? 0 : 1) + subfolder_length >= buffer_size) return false;
  if (!has_backslash) folder[length++] = L'\\';
  std::wmemcpy(folder + length, kWorkSubfolder, subfolder_length + 1);
  return true;
}

bool BuildWorkFolder(wchar_t* folder) {
  // The call's own text goes into a second buffer of the same size, from
  // which the full path is made in `folder`. Static: the main thread's
  // stack need not hold 64 KiB more, and the entry runs once.
  static wchar_t temp[kWorkFolderSize];
  temp[0] = L'\0';
  DWORD temp_result = TempPathCall()(kWorkFolderSize, temp);
  if (temp_result == 0 || temp_result >= kWorkFolderSize) temp_result = TempPathFromVariables(temp, kWorkFolderSize);
  if (temp_result == 0) {
    std::wcscpy(folder, kTempPathSources);
    return false;
  }
  folder[0] = L'\0';
  const DWORD full_result = GetFullPathNameW(temp, kWorkFolderSize, folder, nullptr);
  if (full_result == 0 || full_result >= kWorkFolderSize) {
    std::wcscpy(folder, temp);
    return false;
  }
  // The temp folder normally exists; creating it only matters when it does
  // not, and a failure shows up when the working folder is claimed.
  CreateDirectoryW(ExtendedPath(folder).get(), nullptr);
  return ComposeWorkFolder(folder, kWorkFolderSize, full_result);
}

}  // namespace sfx
