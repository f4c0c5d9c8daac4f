// The three calls of the system's version library, resolved at run time.
//
// The stub does not import the version library: it loads it by its full
// path in the system folder (so no copy beside the installer can stand in
// for it) and looks the functions up by name.
#pragma once

#include <windows.h>

namespace sfx {

// A loaded version library and its three functions; the module is freed
// when the object goes out of scope.
class VersionLibrary {
 public:
  using SizeFn = DWORD(WINAPI*)(LPCSTR path, LPDWORD handle);
  using InfoFn = BOOL(WINAPI*)(LPCSTR path, DWORD handle, DWORD size, LPVOID data);
  using QueryFn = BOOL(WINAPI*)(LPCVOID block, LPCSTR sub_block, LPVOID* value, PUINT length);

  // Loads through update_platform.load_version_library and resolves the
  // functions; ok() tells whether all of that worked.
  VersionLibrary();
  ~VersionLibrary();
  VersionLibrary(const VersionLibrary&) = delete;
  VersionLibrary& operator=(const VersionLibrary&) = delete;

  bool ok() const { return size != nullptr && info != nullptr && query != nullptr; }

  SizeFn size = nullptr;
  InfoFn info = nullptr;
  QueryFn query = nullptr;

 private:
  HMODULE module_ = nullptr;
};

// Loads "version.dll" from the system folder (GetSystemDirectoryA); null
// when the path does not fit or the load fails.
HMODULE LoadSystemVersionLibrary();

}  // namespace sfx
