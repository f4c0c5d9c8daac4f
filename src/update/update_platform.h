// The Win32 calls through which the update check reads the machine.
//
// The product locator and the decision read the platform version, the
// registry, private profile files and file attributes, and the version check
// loads the system's version library. All of these go through the function
// pointers below, which start out as the real Win32 calls; the stub never
// changes them. Tests swap single entries (an old platform version, a
// registry view rooted in a test key, a version library that fails to load)
// to reach every branch, and put the defaults back afterwards.
#pragma once

#include <windows.h>

namespace sfx {

// The redirectable Win32 entry points of the update check.
struct UpdatePlatform {
  DWORD(WINAPI* get_version)();
  LONG(WINAPI* reg_open_key)(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key);
  LONG(WINAPI* reg_query_value)(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
  LONG(WINAPI* reg_close_key)(HKEY key);
  DWORD(WINAPI* get_profile_string)(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR out, DWORD size, LPCSTR file);
  DWORD(WINAPI* get_file_attributes)(LPCSTR path);
  // Loads the version library; null when it cannot be loaded. The caller
  // frees the module with FreeLibrary.
  HMODULE (*load_version_library)();
};

// The real Win32 calls, as the stub uses them.
UpdatePlatform DefaultUpdatePlatform();

// The calls in effect; starts out as DefaultUpdatePlatform().
extern UpdatePlatform update_platform;

}  // namespace sfx
