// End-to-end runs of the update decision: real installers, made by
// prepare_update_e2e.sh, run under Wine with a temp folder of their own,
// against an installed product that each test registers (or not) under the
// real application-path keys of HKEY_LOCAL_MACHINE. These runs use a Wine
// prefix of their own, so the registered product is seen by no other test.
//
// Every payload holds Setup.exe (a probe that records its launch) and two
// files that come after it, readme.txt and data\after.txt; they are written
// only when the installed product qualifies.
#include <gtest/gtest.h>

#include <string>

#include "e2e_support.h"
#include "installer_driver.h"
#include "support/win_test_files.h"

namespace sfx::test {
namespace {

constexpr DWORD kTimeoutMs = 180000;
constexpr char kWindowsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\mivor.exe";
constexpr char kNTKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\App Paths\\mivor.exe";
constexpr char kPlayerKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\MivorMediaPlayer.exe";

void DeleteKey(const char* path) { RegDeleteTreeA(HKEY_LOCAL_MACHINE, path); }

void SetDefaultValue(const char* path, const std::string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

class UpdateDecisionRun : public InstallerRunTest {
 protected:
  UpdateDecisionRun() : InstallerRunTest("SFX_UPDATE_E2E_DIR", "update.exe") {}

  void SetUp() override {
    ClearRegistration();
    InstallerRunTest::SetUp();
  }

  void TearDown() override { ClearRegistration(); }

  static void ClearRegistration() {
    DeleteKey(kWindowsKey);
    DeleteKey(kNTKey);
    DeleteKey(kPlayerKey);
  }

  // Runs the installer; it must end without any message box and launch the
  // extracted Setup.exe in every case of these tests.
  void Run(const std::string& installer) {
    const InstallerRun run = RunInstaller(root_ + "\\" + installer, temp_, kTimeoutMs);
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.finished) << installer << " did not end";
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.messages.empty()) << ToUtf8(run.messages.empty() ? L"" : run.messages[0]);
    EXPECT_EQ(run.processes, 2u) << "the installer and Setup.exe";
    EXPECT_TRUE(FileExists(probe_log_)) << "Setup.exe did not run";
    EXPECT_TRUE(FileExists(work_ + "Setup.exe"));
    EXPECT_TRUE(FileExists(work_ + "Setup.cfg"));
  }

  void ExpectEveryFile() {
    EXPECT_TRUE(FileExists(work_ + "readme.txt"));
    EXPECT_TRUE(FileExists(work_ + "data\\after.txt"));
  }

  void ExpectStopAfterSetup() {
    EXPECT_FALSE(FileExists(work_ + "readme.txt"));
    EXPECT_FALSE(FileExists(work_ + "data\\after.txt"));
    EXPECT_FALSE(FolderExists(work_ + "data"));
  }

  std::string Product(const char* version) const { return root_ + "\\product\\" + version + "\\mivor.exe"; }
};

// ---------------------------------------------------------------- the decision

TEST_F(UpdateDecisionRun, ProductAbsentStopsRightAfterSetupExe) {
  Run("update.exe");
  ExpectStopAfterSetup();
}

TEST_F(UpdateDecisionRun, QualifyingProductGetsEveryFile) {
  SetDefaultValue(kWindowsKey, Product("v4"));
  Run("update.exe");
  ExpectEveryFile();
}

TEST_F(UpdateDecisionRun, QualifyingProductUnderTheNTKeyGetsEveryFile) {
  SetDefaultValue(kNTKey, Product("v4"));
  Run("update.exe");
  ExpectEveryFile();
}

TEST_F(UpdateDecisionRun, ProductOutOfRangeStopsRightAfterSetupExe) {
  SetDefaultValue(kWindowsKey, Product("v2"));
  Run("update.exe");
  ExpectStopAfterSetup();
}

TEST_F(UpdateDecisionRun, RegisteredProductWhoseFolderIsGoneStopsEarly) {
  SetDefaultValue(kWindowsKey, root_ + "\\product\\gone\\mivor.exe");
  Run("update.exe");
  ExpectStopAfterSetup();
}

TEST_F(UpdateDecisionRun, SetupCfgWithASyntaxErrorStopsEarlyEvenForAQualifyingProduct) {
  SetDefaultValue(kWindowsKey, Product("v4"));
  Run("syntax_error.exe");
  ExpectStopAfterSetup();
}

TEST_F(UpdateDecisionRun, Mp3InstallWithThePlayerFilesFolderGetsEveryFile) {
  SetDefaultValue(kPlayerKey, root_ + "\\player\\MivorMediaPlayer.exe");
  Run("mp3.exe");
  ExpectEveryFile();
}

TEST_F(UpdateDecisionRun, Mp3InstallWithoutThePlayerStopsEarly) {
  Run("mp3.exe");
  ExpectStopAfterSetup();
}

// ---------------------------------------------------------------- order of entries

TEST_F(UpdateDecisionRun, SetupCfgAfterSetupExeCannotStopTheExtraction) {
  Run("cfg_after_setup.exe");
  ExpectEveryFile();
}

TEST_F(UpdateDecisionRun, SecondSetupCfgIsNotDecidedOnAgain) {
  // The first Setup.cfg qualifies; the bad second one would not.
  SetDefaultValue(kWindowsKey, Product("v4"));
  Run("second_bad_cfg.exe");
  ExpectEveryFile();
}

TEST_F(UpdateDecisionRun, SecondSetupCfgCannotUndoAnEarlyStop) {
  // The first Setup.cfg does not parse; the second would qualify.
  SetDefaultValue(kWindowsKey, Product("v4"));
  Run("second_good_cfg.exe");
  ExpectStopAfterSetup();
}

}  // namespace
}  // namespace sfx::test
