// Helpers of the update check tests: copies of the fixture programs, a
// registry key of the test's own that stands in for HKEY_LOCAL_MACHINE,
// profile files in the Windows folder, saving and restoring the update
// check's platform calls around each test, and a fresh UpdateCheck.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/win_test_files.h"
#include "update/update_check.h"
#include "update/update_platform.h"

namespace sfx_test {

// Copies fixture program `fixture` (a name like "update_fixture_v4_0_3_0")
// to `destination`; returns `destination`.
std::string CopyFixture(const std::string& fixture, const std::string& destination);

// One call of the registry open, as the code under test made it.
struct RegistryOpen {
  HKEY root;
  std::string path;
  DWORD options;
  REGSAM access;
};

// A key of this test process, HKLM\Software\SfxUpdateTests\<pid>, that the
// update check sees as HKEY_LOCAL_MACHINE while the object lives: its
// registry open is redirected there, its reads and closes are counted. The
// key is deleted with everything in it at the end.
class RegistrySandbox {
 public:
  RegistrySandbox();
  ~RegistrySandbox();
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  // Creates key `path` in the sandbox and sets its value `name` (default
  // value when empty) to `size` bytes of `data` with type `type`.
  void SetValue(const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size) const;
  // A REG_SZ default value with its terminating zero.
  void SetDefaultString(const std::string& path, const std::string& text) const;
  // Creates key `path` without any value.
  void CreateKey(const std::string& path) const;

  const std::vector<RegistryOpen>& opens() const;
  int open_keys() const;  // successful opens minus closes

 private:
  HKEY root_ = nullptr;
  std::string root_path_;
};

// A file in the Windows folder, where GetPrivateProfileStringA looks for a
// file named without a folder; deleted at the end.
class WindowsFolderFile {
 public:
  WindowsFolderFile(const std::string& name, const std::string& content);
  ~WindowsFolderFile();
  WindowsFolderFile(const WindowsFolderFile&) = delete;
  WindowsFolderFile& operator=(const WindowsFolderFile&) = delete;

 private:
  std::string path_;
};

// Saves update_platform and counts version library loads from zero; puts
// the platform calls back on destruction.
class UpdatePlatformGuard {
 public:
  UpdatePlatformGuard();
  ~UpdatePlatformGuard();
  UpdatePlatformGuard(const UpdatePlatformGuard&) = delete;
  UpdatePlatformGuard& operator=(const UpdatePlatformGuard&) = delete;

 private:
  sfx::UpdatePlatform saved_;
};

// An UpdateCheck whose setup record holds the parser's defaults and whose
// names are empty strings.
sfx::UpdateCheck FreshUpdateCheck();

// Platform versions as GetVersion reports them (major in the low byte,
// minor in the next one).
DWORD WINAPI OldPlatformVersion();           // 3.10
DWORD WINAPI Major4PlatformVersion();        // 4.0
DWORD WINAPI Major5Minor3PlatformVersion();  // 5.3

// Counts the loads of the version library, passing them to the real loader.
HMODULE CountingVersionLoader();
int version_library_loads();
void reset_version_library_loads();

// "SfxUpdateTest-<pid>.ini": a profile file name that no other test process uses.
std::string UniqueProfileName();

// The Windows folder, without a trailing backslash.
std::string WindowsFolder();

}  // namespace sfx_test
