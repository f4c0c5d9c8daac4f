// Installed product locator.
//
// Sources, in order:
//  - platform major version below 4: key "Path" of section "Info" in the
//    profile file product_ini_file (looked up in the Windows folder); the
//    value is the folder, unchanged;
//  - otherwise the default value of app_paths_key, then of app_paths_key_nt,
//    both under HKEY_LOCAL_MACHINE: the full path of the product executable,
//    cut at its last backslash to leave the folder;
//  - when neither key exists and Setup.cfg says MP3_INSTALL: the media
//    player's application path, cut at its last backslash, with "\MivorFiles\"
//    appended; the final cut then drops the trailing backslash.
// A source that yields an empty value still counts as found; the decision's
// existence test rejects the empty folder.
#include "update/product_locator.h"

#include <cstring>

#include "update/update_platform.h"

namespace sfx {
namespace {

constexpr DWORD kRegistryQuerySize = 256;
constexpr char kMediaPlayerKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\MivorMediaPlayer.exe";
constexpr char kMediaFilesFolder[] = "\\MivorFiles\\";
constexpr char kProfileSection[] = "Info";
constexpr char kProfileKey[] = "Path";

// Ends `text` at its last backslash; text without one stays whole.
void CutAtLastBackslash(char* text) {
  char* last = std::strrchr(text, '\\');
  if (last != nullptr) *last = '\0';
}

// Makes the `size` bytes in `buffer` (which holds kRegistryQuerySize bytes)
// a zero-terminated string. Registry data need not carry its zero: a value
// without one is terminated right after its data, or in the last byte of the
// buffer when the data fill it completely.
void TerminateQueriedValue(char* buffer, DWORD size) {
  if (std::memchr(buffer, '\0', size) != nullptr) return;
  buffer[size < kRegistryQuerySize ? size : kRegistryQuerySize - 1] = '\0';
}

// Copies the zero-terminated `text` into `dest` of `capacity` (> 0) bytes,
// cutting it so that the terminating zero always fits.
void CopyBounded(char* dest, DWORD capacity, const char* text) {
  std::size_t length = std::strlen(text);
  if (length > capacity - 1) length = capacity - 1;
  std::memcpy(dest, text, length);
  dest[length] = '\0';
}

// The media-player fallback: the player's folder followed by
// "\MivorFiles\", into `folder` (kUpdatePathSize bytes). False when the
// player is not registered, or when the result would not fit.
bool LocateMediaPlayerFiles(char* folder) {
  if (!ReadRegistryString(HKEY_LOCAL_MACHINE, kMediaPlayerKey, "", folder, kUpdatePathSize)) {
    return false;
  }
  CutAtLastBackslash(folder);
  std::size_t length = std::strlen(folder);
  if (length + sizeof(kMediaFilesFolder) > kUpdatePathSize) {
    folder[0] = '\0';
    return false;
  }
  std::memcpy(folder + length, kMediaFilesFolder, sizeof(kMediaFilesFolder));
  return true;
}

}  // namespace

bool ReadRegistryString(HKEY root, const char* path, const char* value_name, char* dest, DWORD capacity) {
  if (capacity == 0 || dest == nullptr) return false;
  dest[0] = '\0';

  HKEY key = nullptr;
  if (update_platform.reg_open_key(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;

  char buffer[kRegistryQuerySize];
  DWORD size = kRegistryQuerySize;
  bool found = update_platform.reg_query_value(key, value_name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                                               &size) == ERROR_SUCCESS;
  if (found) {
    // A successful query never reports more than the buffer; clamp anyway so
    // that a misbehaving call cannot make us read past it.
    if (size > kRegistryQuerySize) size = kRegistryQuerySize;
    TerminateQueriedValue(buffer, size);
    if (size > capacity) {
      std::memcpy(dest, buffer, capacity);
      dest[capacity - 1] = '\0';
    } else {
      CopyBounded(dest, capacity, buffer);
    }
  }
  update_platform.reg_close_key(key);
  return found;
}

bool LocateProduct(UpdateCheck& check) {
  char* folder = check.product_folder;
  DWORD platform_version = update_platform.get_version();
  if ((platform_version & 0xFF) < 4) {
    DWORD read = update_platform.get_profile_string(kProfileSection, kProfileKey, "", folder, kUpdatePathSize,
                                                    check.product_ini_file);
    return read > 0;
  }

  bool found = ReadRegistryString(HKEY_LOCAL_MACHINE, check.app_paths_key, "", folder, kUpdatePathSize) ||
               ReadRegistryString(HKEY_LOCAL_MACHINE, check.app_paths_key_nt, "", folder, kUpdatePathSize);
  if (!found) {
    if (check.config.mp3_install != 1) return false;
    if (!LocateMediaPlayerFiles(folder)) return false;
  }
  CutAtLastBackslash(folder);
  return true;
}

}  // namespace sfx
