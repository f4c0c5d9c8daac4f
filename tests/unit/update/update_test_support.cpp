// Helpers of the update check tests (see update_test_support.h).
#include "update_test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "update/version_library.h"

namespace sfx_test {
namespace {

// State shared by the redirected registry calls, which cannot capture.
struct RegistryRedirect {
  HKEY sandbox = nullptr;
  std::vector<RegistryOpen> opens;
  int open_keys = 0;
};
RegistryRedirect registry_redirect;
int version_loads = 0;

std::string ProgramFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) throw std::runtime_error("GetModuleFileNameA failed");
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\'));
}

LONG WINAPI RedirectedOpen(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key) {
  registry_redirect.opens.push_back({root, path != nullptr ? path : "", options, access});
  HKEY real_root = root == HKEY_LOCAL_MACHINE ? registry_redirect.sandbox : root;
  LONG status = RegOpenKeyExA(real_root, path, options, access, key);
  if (status == ERROR_SUCCESS) ++registry_redirect.open_keys;
  return status;
}

LONG WINAPI CountedClose(HKEY key) {
  --registry_redirect.open_keys;
  return RegCloseKey(key);
}

}  // namespace

std::string CopyFixture(const std::string& fixture, const std::string& destination) {
  std::string source = ProgramFolder() + "\\" + fixture + ".exe";
  if (!CopyFileA(source.c_str(), destination.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy " + source + " to " + destination);
  }
  return destination;
}

RegistrySandbox::RegistrySandbox() {
  root_path_ = "Software\\SfxUpdateTests\\" + std::to_string(GetCurrentProcessId());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, root_path_.c_str());
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, root_path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                      nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create HKLM\\" + root_path_);
  }
  registry_redirect = RegistryRedirect{};
  registry_redirect.sandbox = root_;
  sfx::update_platform.reg_open_key = &RedirectedOpen;
  sfx::update_platform.reg_close_key = &CountedClose;
}

RegistrySandbox::~RegistrySandbox() {
  sfx::update_platform.reg_open_key = sfx::DefaultUpdatePlatform().reg_open_key;
  sfx::update_platform.reg_close_key = sfx::DefaultUpdatePlatform().reg_close_key;
  registry_redirect.sandbox = nullptr;
  RegCloseKey(root_);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, root_path_.c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, root_path_.c_str());
  // The parent goes only when no other test process still has a key in it.
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\SfxUpdateTests");
}

void RegistrySandbox::SetValue(const std::string& path, const std::string& name, DWORD type, const void* data,
                               DWORD size) const {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create key " + path);
  }
  LONG status =
      RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set a value of " + path);
}

void RegistrySandbox::SetDefaultString(const std::string& path, const std::string& text) const {
  SetValue(path, "", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void RegistrySandbox::CreateKey(const std::string& path) const {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create key " + path);
  }
  RegCloseKey(key);
}

const std::vector<RegistryOpen>& RegistrySandbox::opens() const { return registry_redirect.opens; }

int RegistrySandbox::open_keys() const { return registry_redirect.open_keys; }

WindowsFolderFile::WindowsFolderFile(const std::string& name, const std::string& content)
    : path_(WindowsFolder() + "\\" + name) {
  sfx::test::WriteText(path_, content);
}

WindowsFolderFile::~WindowsFolderFile() { DeleteFileA(path_.c_str()); }

UpdatePlatformGuard::UpdatePlatformGuard() : saved_(sfx::update_platform) { reset_version_library_loads(); }

UpdatePlatformGuard::~UpdatePlatformGuard() { sfx::update_platform = saved_; }

sfx::UpdateCheck FreshUpdateCheck() {
  sfx::UpdateCheck check;
  check.config.version_hi = 0xFFFFFFFFu;
  check.config.flags = 1;
  return check;
}

DWORD WINAPI OldPlatformVersion() { return 0x80000A03u; }
DWORD WINAPI Major4PlatformVersion() { return 0x00000004u; }
DWORD WINAPI Major5Minor3PlatformVersion() { return 0x00000305u; }

HMODULE CountingVersionLoader() {
  ++version_loads;
  return sfx::LoadSystemVersionLibrary();
}

int version_library_loads() { return version_loads; }

void reset_version_library_loads() { version_loads = 0; }

std::string UniqueProfileName() { return "SfxUpdateTest-" + std::to_string(GetCurrentProcessId()) + ".ini"; }

std::string WindowsFolder() {
  char path[MAX_PATH];
  UINT length = GetWindowsDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) throw std::runtime_error("GetWindowsDirectoryA failed");
  return std::string(path, length);
}

}  // namespace sfx_test
