// End-to-end runs of real installers under Wine: each test starts an
// installer made by prepare_e2e.sh with a temp folder of its own, answers
// its message boxes and checks the files, the messages and the launch of
// Setup.exe (a probe that records its command line and current folder).
//
// The installers lie in the folder named by SFX_E2E_DIR (a host path).
#include <aclapi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "installer_driver.h"
#include "support/stub_texts.h"
#include "support/win_test_files.h"

namespace sfx::test {
namespace {

constexpr DWORD kTimeoutMs = 180000;

// One installer run in a fresh temp folder named after the test.
class InstallerTest : public InstallerRunTest {
 protected:
  InstallerTest() : InstallerRunTest("SFX_E2E_DIR", "ok_nested.exe") {}

  // Runs `installer`, which must end with `exit_code` (0: Setup.exe started).
  InstallerRun Run(const std::string& installer, DWORD exit_code = kExitStarted) {
    InstallerRun run = RunInstaller(root_ + "\\" + installer, temp_, kTimeoutMs);
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.finished) << installer << " did not end";
    EXPECT_EQ(run.exit_code, exit_code) << installer;
    return run;
  }

  void ExpectLaunched(const InstallerRun& run) {
    EXPECT_EQ(run.processes, 2u);  // the installer and Setup.exe
    ASSERT_TRUE(FileExists(probe_log_)) << "Setup.exe did not run";
    const std::string log = ReadText(probe_log_);
    const std::string command_line = log.substr(0, log.find('\n'));
    std::string folder = log.substr(log.find('\n') + 1);
    folder = folder.substr(0, folder.find('\n'));
    EXPECT_EQ(command_line, "\"" + work_ + "Setup.exe\"");
    // The current folder is reported without its trailing backslash.
    EXPECT_EQ(folder + "\\", work_);
    // Setup.exe is shown normally, whatever the installer was started with.
    EXPECT_NE(log.find("\n" + std::to_string(SW_SHOWNORMAL) + "\n", log.find('\n') + 1), std::string::npos);
  }

  void ExpectNotLaunched(const InstallerRun& run) {
    EXPECT_EQ(run.processes, 1u);
    EXPECT_FALSE(FileExists(probe_log_));
  }

  void ExpectSameFile(const std::string& relative) {
    const std::string source = root_ + "\\src\\nested\\" + relative;
    EXPECT_TRUE(FileExists(work_ + relative)) << relative;
    EXPECT_EQ(ReadBytes(work_ + relative), ReadBytes(source)) << relative;
  }
};

// ---------------------------------------------------------------- success

using ExtractionSuccess = InstallerTest;

TEST_F(ExtractionSuccess, WritesNestedFoldersAndEmptyFileThenLaunchesSetup) {
  const InstallerRun run = Run("ok_nested.exe");
  EXPECT_TRUE(run.messages.empty()) << ToUtf8(run.messages.empty() ? L"" : run.messages[0]);
  for (const char* name : {"Setup.exe", "data\\sub\\deep.bin", "docs\\readme.txt", "empty.txt"}) ExpectSameFile(name);
  EXPECT_TRUE(ReadBytes(work_ + "empty.txt").empty());
  ExpectLaunched(run);
}

TEST_F(ExtractionSuccess, RemovesLeftoversOfAnEarlierRun) {
  ASSERT_TRUE(CreateDirectoryA(work_.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((work_ + "old").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((work_ + "old\\deeper").c_str(), nullptr));
  WriteText(work_ + "old\\deeper\\stale.txt", "stale");
  WriteText(work_ + "stale.dat", "stale");
  const InstallerRun run = Run("ok_nested.exe");
  EXPECT_TRUE(run.messages.empty());
  EXPECT_FALSE(FolderExists(work_ + "old"));
  EXPECT_FALSE(FileExists(work_ + "stale.dat"));
  ExpectSameFile("data\\sub\\deep.bin");
  ExpectLaunched(run);
}

TEST_F(ExtractionSuccess, InstallerSignedAfterPackingStillExtracts) {
  const InstallerRun run = Run("signed.exe");
  EXPECT_TRUE(run.messages.empty());
  ExpectSameFile("data\\sub\\deep.bin");
  ExpectSameFile("Setup.exe");
  ExpectLaunched(run);
}

// The stub reads its payload from its loaded image, never through its own
// file name: an installer in a folder whose name the ANSI code page cannot
// spell extracts as anywhere else. The installer is started by a relative
// name from that folder, as the driver starts programs through the ANSI call.
TEST_F(ExtractionSuccess, InstallerInAFolderWithJapaneseCharactersExtracts) {
  const std::wstring folder = FromUtf8(temp_ + "\\\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");  // "nihongo"
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(FromUtf8(root_ + "\\ok_nested.exe").c_str(), (folder + L"\\installer.exe").c_str(), TRUE));
  wchar_t previous[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
  const InstallerRun run = RunInstaller(".\\installer.exe", temp_, kTimeoutMs);
  SetCurrentDirectoryW(previous);
  EXPECT_TRUE(run.started);
  EXPECT_TRUE(run.finished);
  EXPECT_TRUE(run.messages.empty()) << ToUtf8(run.messages.empty() ? L"" : run.messages[0]);
  ExpectSameFile("data\\sub\\deep.bin");
  ExpectLaunched(run);
}

TEST_F(ExtractionSuccess, InstallerPackedAsInvokerExtracts) {
  const InstallerRun run = Run("as_invoker.exe");
  EXPECT_TRUE(run.messages.empty());
  ExpectSameFile("data\\sub\\deep.bin");
  ExpectLaunched(run);
}

// ---------------------------------------------------------------- launch failures

using LaunchFailure = InstallerTest;

// A payload without Setup.exe and a Setup.exe that is no program: after
// the progress dialog, the message names Setup.exe and gives the system's
// reason; the exit code says that nothing was started.
TEST_F(LaunchFailure, MessageNamesSetupExeAndTheReason) {
  for (const char* installer : {"empty_directory.exe", "bad_setup.exe"}) {
    UseRunFolder(temp_, work_, probe_log_);
    const InstallerRun run = Run(installer, kExitLaunchFailed);
    ASSERT_EQ(run.messages.size(), 1u) << installer;
    const std::wstring head =
        W(kEnglishTexts.launch_failed_head) + FromUtf8(work_) + L"Setup.exe" + W(kEnglishTexts.reason);
    EXPECT_EQ(run.messages[0].rfind(head, 0), 0u) << ToUtf8(run.messages[0]);
    EXPECT_GT(run.messages[0].size(), head.size()) << "the system's reason follows";
    EXPECT_EQ(run.dialog_captions[0], L"") << "shown after the progress dialog";
    ExpectNotLaunched(run);
  }
}

TEST_F(LaunchFailure, GermanLaunchFailureMessage) {
  const InstallerRun run = Run("bad_setup.exe", kExitLaunchFailed);
  ASSERT_EQ(run.messages.size(), 1u);
  const std::wstring head =
      W(kGermanTexts.launch_failed_head) + FromUtf8(work_) + L"Setup.exe" + W(kGermanTexts.reason);
  EXPECT_EQ(run.messages[0].rfind(head, 0), 0u);
}

TEST_F(ExtractionSuccess, ReadOnlyLeftoversAndAReadOnlyFolderAreCleared) {
  ASSERT_TRUE(CreateDirectoryA(work_.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((work_ + "old").c_str(), nullptr));
  WriteText(work_ + "old\\stale.dll", "stale");
  for (const char* name : {"old\\stale.dll", "old", ""})
    SetFileAttributesA((work_ + name).c_str(), FILE_ATTRIBUTE_READONLY);
  const InstallerRun run = Run("ok_nested.exe");
  EXPECT_TRUE(run.messages.empty());
  EXPECT_FALSE(FolderExists(work_ + "old"));
  ExpectLaunched(run);
}

// Two entries on the same data bytes, as a packer that stores identical
// files once writes them: both files are extracted.
TEST_F(ExtractionSuccess, EntriesSharingDataAreEachExtracted) {
  const InstallerRun run = Run("shared_data.exe");
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(ReadText(work_ + "twin.txt"), "first file\r\n");
  ExpectLaunched(run);
}

// A temp path longer than MAX_PATH: the folder is made under it (never
// elsewhere), and Setup.exe is started through the folder's short form.
TEST_F(ExtractionSuccess, TempPathLongerThanMaxPathIsUsed) {
  std::string long_temp = temp_;
  for (char part : {'x', 'y', 'z'}) {
    long_temp += "\\" + std::string(90, part);
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + FromUtf8(long_temp)).c_str(), nullptr));
  }
  const InstallerRun run = RunInstaller(root_ + "\\ok_nested.exe", long_temp, kTimeoutMs);
  EXPECT_EQ(run.exit_code, kExitStarted);
  const std::wstring work = FromUtf8(long_temp) + L"\\Mivor.40\\";
  EXPECT_NE(GetFileAttributesW((L"\\\\?\\" + work + L"data\\sub\\deep.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(run.processes, 2u);
  // The probe's second line: its current folder, whose long form is the working folder.
  std::string folder = ReadText(probe_log_);
  folder = folder.substr(folder.find('\n') + 1, folder.find('\n', folder.find('\n') + 1) - folder.find('\n') - 1);
  wchar_t full[1024] = {};
  GetLongPathNameW(FromUtf8(folder).c_str(), full, 1024);
  EXPECT_EQ(std::wstring(full) + L"\\", work);
}

// ---------------------------------------------------------------- corrupt payloads

// A damaged installer ends with the corrupt-payload message, launches
// nothing and writes nothing outside its working folder; what it wrote
// before the damage was found stays.
struct CorruptCase {
  const char* installer;
  std::vector<const char*> kept;    // files written before the damage was found; none: the folder stays empty
  std::vector<const char*> absent;  // files (in the temp folder when "..\") that must not exist
};

const CorruptCase kCorruptCases[] = {
    {"damaged_header.exe", {}, {}},
    {"damaged_directory.exe", {}, {}},
    {"bare_stub.exe", {}, {}},  // a stub without payload
    // 0xFFFFFFFF bytes cannot be allocated by a 32-bit process: corrupt, not a crash.
    {"huge_claim.exe", {}, {}},
    {"tiny_claim.exe", {}, {}},  // an image below the header's size
    {"damaged_entry.exe", {"Setup.exe", "a.txt"}, {"b.txt", "c.txt"}},
    {"escaping_name.exe", {}, {"..\\escape.txt", "a.txt"}},
    {"damaged_stream.exe", {}, {"empty.txt"}},  // the image checks fail before the last entry
};

using CorruptPayload = InstallerTest;

TEST_F(CorruptPayload, EachEndsWithTheMessageAndLaunchesNothing) {
  for (const CorruptCase& c : kCorruptCases) {
    SCOPED_TRACE(c.installer);
    UseRunFolder(temp_, work_, probe_log_);
    const InstallerRun run = Run(c.installer, kExitCorrupt);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0], W(kEnglishTexts.corrupt));
    if (c.kept.empty() && c.absent.empty()) {
      EXPECT_TRUE(IsEmptyFolder(work_)) << "claimed first, nothing written";
    }
    for (const char* name : c.kept) EXPECT_TRUE(FileExists(work_ + name)) << name;
    for (const char* name : c.absent) EXPECT_FALSE(FileExists(work_ + name)) << name;
    ExpectNotLaunched(run);
  }
}

// The payload lies in the installer's last section: a file cut short inside
// it is no valid program, and the system's loader refuses to start it.
TEST_F(CorruptPayload, TruncatedInstallerIsRefusedByTheLoader) {
  const InstallerRun run = RunInstaller(root_ + "\\truncated.exe", temp_, kTimeoutMs);
  EXPECT_FALSE(run.started);
  std::printf("the loader refused truncated.exe with error %lu\n", static_cast<unsigned long>(run.start_error));
  EXPECT_FALSE(FolderExists(work_));
  EXPECT_FALSE(FileExists(probe_log_));
}

// ---------------------------------------------------------------- write failures

using WriteFailure = InstallerTest;

std::wstring CopyFailedEnglish(const std::string& path) { return CopyFailed(kEnglishTexts, FromUtf8(path)); }

// The file writer's own failure: a name the system cannot make.
TEST_F(WriteFailure, FileTheSystemCannotMakeEndsTheRunNamingIt) {
  const InstallerRun run = Run("unwritable_name.exe", kExitWriteFailed);
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_EQ(run.messages[0], CopyFailedEnglish(work_ + "what?.txt"));
  EXPECT_EQ(run.dialog_captions[0], W(kEnglishTexts.dialog_caption)) << "shown by the worker";
  EXPECT_TRUE(FileExists(work_ + "Setup.exe"));
  ExpectNotLaunched(run);
}

// A leftover of an earlier run that cannot be removed ends the run before
// anything is written, naming it.
TEST_F(WriteFailure, LeftoverHeldOpenEndsTheRunBeforeAnythingIsWritten) {
  // A file the payload does not have, held open without delete sharing by
  // another process (this test), as a planted DLL beside Setup.exe would be.
  ASSERT_TRUE(CreateDirectoryA(work_.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((work_ + "docs").c_str(), nullptr));
  const std::string planted = work_ + "docs\\version.dll";
  WriteText(planted, "planted");
  HANDLE held = CreateFileA(planted.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const InstallerRun run = Run("ok_nested.exe", kExitFolderUnusable);
  CloseHandle(held);
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_EQ(run.messages[0], CopyFailedEnglish(planted));
  EXPECT_EQ(run.dialog_captions[0], L"") << "shown before the progress dialog";
  EXPECT_EQ(ReadText(planted), "planted");
  EXPECT_FALSE(FileExists(work_ + "Setup.exe"));
  ExpectNotLaunched(run);
}

// ---------------------------------------------------------------- the working folder

using WorkFolder = InstallerTest;

// prepare_e2e.sh plants linked\tmp\Mivor.40 as a symbolic link to
// linked\target, which holds canary.txt.
TEST_F(WorkFolder, LinkInItsPlaceIsNeverFollowed) {
  const std::string linked = root_ + "\\linked";
  ASSERT_TRUE(FileExists(linked + "\\target\\canary.txt")) << "run prepare_e2e.sh first";
  temp_ = linked + "\\tmp";
  work_ = temp_ + "\\Mivor.40\\";
  const InstallerRun run = RunInstaller(root_ + "\\ok_nested.exe", temp_, kTimeoutMs);
  EXPECT_EQ(ReadText(linked + "\\target\\canary.txt"), "canary");
  EXPECT_FALSE(FileExists(linked + "\\target\\Setup.exe")) << "nothing is written through the link";
  const DWORD attributes = GetFileAttributesA(work_.substr(0, work_.size() - 1).c_str());
  if (RunsUnderWine() && !run.messages.empty()) {
    // Wine cannot remove a symbolic link to a folder: the run ends with the
    // message naming the working folder and nothing happens. That keeps the
    // target safe, but the replacement itself is not shown here.
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0], CopyFailedEnglish(work_));
    EXPECT_EQ(run.exit_code, kExitFolderUnusable);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    ExpectNotLaunched(run);
    GTEST_SKIP() << "Wine cannot remove a link to a folder: its replacement by a real folder is not shown";
  }
  // The link was removed and a real folder made in its place.
  EXPECT_TRUE(run.messages.empty()) << ToUtf8(run.messages.empty() ? L"" : run.messages[0]);
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(run.exit_code, kExitStarted);
  ExpectSameFile("Setup.exe");
  ExpectLaunched(run);
}

// From the claim until the run ends the working folder is held without
// delete sharing: it cannot be renamed (and a link put in its place) while
// the stub writes into it. The worker's message box for the damaged third
// entry keeps the run waiting, with two files written, while this test
// acts as another program of the same user would.
TEST_F(WorkFolder, CannotBeRenamedWhileTheRunHoldsIt) {
  const std::string folder = work_.substr(0, work_.size() - 1);
  bool renamed = true;
  bool removed = true;
  const InstallerRun run = RunInstaller(root_ + "\\damaged_entry.exe", temp_, kTimeoutMs, [&](const std::wstring&) {
    renamed = MoveFileA(folder.c_str(), (temp_ + "\\moved").c_str()) != FALSE;
    removed = RemoveDirectoryA(folder.c_str()) != FALSE;
  });
  EXPECT_EQ(run.exit_code, kExitCorrupt);
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_FALSE(renamed);
  EXPECT_FALSE(removed);
  EXPECT_FALSE(FolderExists(temp_ + "\\moved"));
  EXPECT_EQ(ReadText(work_ + "a.txt"), "first file\r\n");
}

// ---------------------------------------------------------------- protection of an elevated run

using Security = InstallerTest;

// The folder of an elevated run grants SYSTEM and Administrators only and
// carries the High label, so the user's unelevated programs cannot write in
// it. Wine enforces neither access lists nor mandatory labels (and reports
// no label), so there this reports itself skipped. (The installer asks for
// elevation, so on Windows the run is elevated.)
TEST_F(Security, ElevatedRunClosesItsFolderToTheUsersUnelevatedPrograms) {
  if (RunsUnderWine()) GTEST_SKIP() << "Wine enforces neither access lists nor mandatory labels";
  Run("ok_nested.exe");
  PACL dacl = nullptr;
  PACL sacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoA(work_.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                                  nullptr, nullptr, &dacl, &sacl, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(dacl != nullptr && dacl->AceCount == 2) << "SYSTEM and Administrators, no entry for the user";
  EXPECT_TRUE(sacl != nullptr && sacl->AceCount == 1) << "the High label";
  LocalFree(descriptor);
}

// ---------------------------------------------------------------- code pages

using CodePage = InstallerTest;

// Runs with a Japanese locale (code page 932), where the bytes of the
// Windows-1252 names mean other characters: 0xE9 (e acute) followed by a
// backslash reads as one double-byte character there.
TEST_F(CodePage, Windows1252NamesKeepTheirCharacters) {
  std::printf("code page of this run: %u\n", GetACP());
  const InstallerRun run = Run("codepage.exe");
  EXPECT_TRUE(run.messages.empty()) << ToUtf8(run.messages.empty() ? L"" : run.messages[0]);
  const std::wstring name = FromUtf8(work_) + L"Caf\u00E9\\\u00DCbersicht.txt";
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "no file under the Unicode name";
  char text[64] = {};
  DWORD read = 0;
  ReadFile(file, text, sizeof(text) - 1, &read, nullptr);
  CloseHandle(file);
  EXPECT_STREQ(text,
               "\xC3\x9C"
               "bersicht\r\n");
  ExpectLaunched(run);
}

// ---------------------------------------------------------------- languages

using E2eLanguage = InstallerTest;

// The stub's texts follow the user's language: the corrupt-payload message
// over the progress dialog, and the file writer's failure message.
void ExpectTextsOf(const StubTexts& texts, const std::string& temp, std::string& work, std::string& probe_log,
                   const std::string& root) {
  InstallerRun run = RunInstaller(root + "\\damaged_header.exe", temp, kTimeoutMs);
  EXPECT_EQ(run.exit_code, kExitCorrupt);
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_EQ(run.messages[0], W(texts.corrupt));
  ASSERT_EQ(run.dialog_captions.size(), 1u);
  EXPECT_EQ(run.dialog_captions[0], W(texts.dialog_caption));
  EXPECT_EQ(run.dialog_texts[0], W(texts.dialog_text) + FromUtf8(work));
  UseRunFolder(temp, work, probe_log);
  run = RunInstaller(root + "\\unwritable_name.exe", temp, kTimeoutMs);
  EXPECT_EQ(run.exit_code, kExitWriteFailed);
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_EQ(run.messages[0], CopyFailed(texts, FromUtf8(work + "what?.txt")));
}

TEST_F(E2eLanguage, EnglishTextsWithEnglishLocale) { ExpectTextsOf(kEnglishTexts, temp_, work_, probe_log_, root_); }

TEST_F(E2eLanguage, GermanTextsWithGermanLocale) { ExpectTextsOf(kGermanTexts, temp_, work_, probe_log_, root_); }

}  // namespace
}  // namespace sfx::test
