// The default entries of the update check's platform calls: the Win32
// functions themselves, and the loader of the system's version library.
#include "update/update_platform.h"

#include "update/version_library.h"

namespace sfx {

UpdatePlatform DefaultUpdatePlatform() {
  UpdatePlatform platform{};
  platform.get_version = &GetVersion;
  platform.reg_open_key = &RegOpenKeyExA;
  platform.reg_query_value = &RegQueryValueExA;
  platform.reg_close_key = &RegCloseKey;
  platform.get_profile_string = &GetPrivateProfileStringA;
  platform.get_file_attributes = &GetFileAttributesA;
  platform.load_version_library = &LoadSystemVersionLibrary;
  return platform;
}

UpdatePlatform update_platform = DefaultUpdatePlatform();

}  // namespace sfx
