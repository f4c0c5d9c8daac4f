// Helpers shared by the end-to-end tests under Wine: where the prepared
// installers lie, the fresh temp folder of each installer run (with the
// working folder the installer makes in it and the log of the Setup.exe
// probe), and reading back the files a run left behind.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "support/win_test_files.h"

namespace sfx::test {

// The host path in the environment variable `name` as a Windows path on
// drive Z: (the root of the host's file system in a Wine prefix); empty when
// the variable is unset or not an absolute host path.
inline std::string HostFolderOnDriveZ(const char* name) {
  const char* host = std::getenv(name);
  if (host == nullptr || host[0] != '/') return {};
  std::string path = std::string("Z:") + host;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// The file's content as text; empty when it cannot be read.
inline std::string ReadText(const std::string& path) {
  const auto bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// "<root>\tmp\<suite>.<test>": the temp folder of the running test.
inline std::string TestTempFolder(const std::string& root) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return root + "\\tmp\\" + info->test_suite_name() + "." + info->name();
}

// True under Wine, which cannot show some of what Windows does.
inline bool RunsUnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// The installer's exit codes, as documented for vendors.
constexpr DWORD kExitStarted = 0;
constexpr DWORD kExitCorrupt = 2;
constexpr DWORD kExitWriteFailed = 3;
constexpr DWORD kExitFolderUnusable = 4;
constexpr DWORD kExitLaunchFailed = 5;

// Makes `temp` a fresh, empty folder for the next installer run, sets
// `work` to the working folder the installer makes in it and `probe_log` to
// the file the Setup.exe probe writes, and tells the probe that file.
inline void UseRunFolder(const std::string& temp, std::string& work, std::string& probe_log) {
  RemoveTree(temp);
  ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr)) << temp;
  work = temp + "\\Mivor.40\\";
  probe_log = temp + "\\probe.log";
  SetEnvironmentVariableA("SFX_PROBE_LOG", probe_log.c_str());
}

// Installer runs, each in a fresh temp folder named after the test. The
// installers lie in the host folder named by the environment variable
// `folder_variable`, which holds `marker` once the suite's prepare script
// has run.
class InstallerRunTest : public ::testing::Test {
 protected:
  InstallerRunTest(const char* folder_variable, const char* marker)
      : folder_variable_(folder_variable), marker_(marker) {}

  void SetUp() override {
    root_ = HostFolderOnDriveZ(folder_variable_);
    ASSERT_FALSE(root_.empty()) << folder_variable_ << " is not set";
    ASSERT_TRUE(FileExists(root_ + "\\" + marker_)) << "run the prepare script first";
    UseTemp(TestTempFolder(root_));
  }

  // Makes `temp` the (fresh) temp folder of the next run.
  void UseTemp(const std::string& temp) {
    temp_ = temp;
    UseRunFolder(temp_, work_, probe_log_);
  }

  std::string root_;
  std::string temp_;
  std::string work_;
  std::string probe_log_;

 private:
  const char* folder_variable_;
  const char* marker_;
};

}  // namespace sfx::test
