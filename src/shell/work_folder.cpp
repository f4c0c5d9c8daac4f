// Composition of the working folder (see work_folder.h).
#include "shell/work_folder.h"

#include <cwchar>

#include "payload/worker/stub_run.h"

namespace sfx {
namespace {

// Length of `folder` once the sub-folder (and a backslash, if needed) is added.
std::size_t ComposedLength(const wchar_t* folder, std::size_t length) {
  const bool has_backslash = length > 0 && folder[length - 1] == L'\\';
  return length + (has_backslash ? 0 : 1) + (sizeof(kWorkSubfolder) / sizeof(wchar_t) - 1);
}

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

}  // namespace

void SelectTempFolder(wchar_t* folder, DWORD buffer_size, DWORD temp_result) {
  // On success the call returns the length without the terminator, which
  // is below the buffer size; a result of at least the buffer size is the
  // size it would have needed, and the buffer holds nothing usable then.
  bool usable = temp_result != 0 && temp_result < buffer_size;
  if (usable) {
    const std::size_t length = std::wcslen(folder);
    usable = length == temp_result && ComposedLength(folder, length) < buffer_size;
  }
  if (!usable) std::wmemcpy(folder, kFallbackTempFolder, sizeof(kFallbackTempFolder) / sizeof(wchar_t));
}

void AppendWorkSubfolder(wchar_t* folder) {
  std::size_t length = std::wcslen(folder);
  if (length == 0 || folder[length - 1] != L'\\') folder[length++] = L'\\';
  std::wmemcpy(folder + length, kWorkSubfolder, sizeof(kWorkSubfolder) / sizeof(wchar_t));
}

void BuildWorkFolder(wchar_t* folder) {
  folder[0] = L'\0';
  const DWORD result = TempPathCall()(kWorkFolderSize, folder);
  SelectTempFolder(folder, kWorkFolderSize, result);
  // The temp folder normally exists; creating it only matters when it does
  // not, and a failure shows up when the working folder is claimed.
  CreateDirectoryW(folder, nullptr);
  AppendWorkSubfolder(folder);
}

}  // namespace sfx
