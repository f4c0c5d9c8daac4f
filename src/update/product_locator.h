// Finding the folder of the installed product: the profile file on old
// platforms, otherwise the application-path registry entries of the product
// executable, or the media player's entry when Setup.cfg says MP3_INSTALL.
#pragma once

#include <windows.h>

#include "update/update_check.h"

namespace sfx {

// Reads the value `value_name` of key `path` under `root` into `dest`, which
// holds `capacity` bytes. The value is queried through a 256-byte buffer, so
// a larger value counts as missing; a value longer than the destination is
// truncated and terminated; a value without a terminating zero is terminated.
// Returns true when a value was read; `dest` is empty after a failed read
// (and untouched when `dest` is null or `capacity` is 0).
bool ReadRegistryString(HKEY root, const char* path, const char* value_name, char* dest, DWORD capacity);

// Fills check.product_folder from the first source that yields a value and
// returns true; false when none does. Reads check.product_ini_file,
// check.app_paths_key, check.app_paths_key_nt and check.config.mp3_install.
bool LocateProduct(UpdateCheck& check);

}  // namespace sfx
