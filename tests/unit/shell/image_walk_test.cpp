// The worker's directory walk on in-memory images: files and folders, the
// early stop after Setup.exe, corrupt entries and names, write failures,
// Windows-1252 names, the held Setup.exe; plus the two name tests and the
// write-failure message.
#include "payload/worker/image_walk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "payload/worker/extraction_worker.h"
#include "payload/worker/file_ops.h"
#include "payload/worker/write_entry_file.h"
#include "support/payload_samples.h"
#include "support/stub_texts.h"
#include "support/test_image.h"
#include "support/win_test_files.h"

namespace sfx {
namespace {

using test::BuildTestImage;
using test::FileExists;
using test::Narrow;
using test::ReadBytes;
using test::TestEntry;
using test::Wide;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// What the update decision saw.
struct DecisionLog {
  int calls = 0;
  std::string config;
  bool verdict = true;
};
DecisionLog* decisions = nullptr;

bool RecordingDecision(const std::uint8_t* config, std::size_t size) {
  ++decisions->calls;
  decisions->config.assign(reinterpret_cast<const char*>(config), size);
  return decisions->verdict;
}

class ImageWalkTest : public ::testing::Test {
 protected:
  // The working folder is held as the stub holds it, and the real file
  // calls work below it (SetFileRoot).
  void SetUp() override {
    decisions = &log_;
    work_ = scratch_.path() + "Mivor.40\\";
    BuildCrcTable(table_);
    ASSERT_TRUE(CreateDirectoryA(work_.c_str(), nullptr));
    root_ =
        CreateFileA(work_.c_str(), FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(root_, INVALID_HANDLE_VALUE);
    root_path_ = Wide(work_);
    SetFileRoot(root_, root_path_.c_str());
  }
  void TearDown() override {
    decisions = nullptr;
    SetFileRoot(nullptr, nullptr);
    if (root_ != INVALID_HANDLE_VALUE) CloseHandle(root_);
    if (setup_file_ != INVALID_HANDLE_VALUE) CloseHandle(setup_file_);
  }

  WalkResult Walk(const std::vector<std::uint8_t>& image) {
    image_ = image;
    const PayloadImageView view(image_.data(), image_.size(), table_);
    EXPECT_EQ(view.CheckHeader(), ImageStatus::kOk);
    std::memset(target_path_, 0, sizeof(target_path_));
    const std::wstring work = Wide(work_);
    std::wmemcpy(target_path_, work.c_str(), work.size() + 1);
    tracker_ = MakeProgressTracker(static_cast<std::uint32_t>(image_.size()), nullptr);
    if (setup_file_ != INVALID_HANDLE_VALUE) CloseHandle(setup_file_);
    setup_file_ = INVALID_HANDLE_VALUE;
    return WalkImage(view, target_path_, work.size(), tracker_, RecordingDecision, PlatformFileOps(), &setup_file_);
  }

  bool Written(const std::string& name) const { return FileExists(work_ + name); }

  test::ScratchFolder scratch_;
  std::string work_;
  HANDLE root_ = INVALID_HANDLE_VALUE;
  std::wstring root_path_;
  CrcTable table_;
  std::vector<std::uint8_t> image_;
  wchar_t target_path_[kTargetPathSize];
  HANDLE setup_file_ = INVALID_HANDLE_VALUE;
  ProgressTracker tracker_{};
  DecisionLog log_;
};

TEST_F(ImageWalkTest, WritesEveryEntryWithFoldersAndEmptyFile) {
  const std::vector<TestEntry> entries = {
      {"Setup.exe", Bytes("MZ program")},
      {"data\\sub\\deep.bin", std::vector<std::uint8_t>(70000, 0xA5)},
      {"empty.txt", {}},
      {"readme.txt", Bytes("hello")},
  };
  EXPECT_EQ(Walk(BuildTestImage(entries)), WalkResult::kSuccess);
  for (const auto& entry : entries) EXPECT_EQ(ReadBytes(work_ + entry.name), entry.data) << entry.name;
  EXPECT_TRUE(Written("empty.txt"));
  EXPECT_EQ(tracker_.bytes_done, 10u + 70000u + 0u + 5u);
  EXPECT_EQ(log_.calls, 0);
}

TEST_F(ImageWalkTest, EmptyDirectoryFinishesAtOnce) {
  EXPECT_EQ(Walk(BuildTestImage({})), WalkResult::kSuccess);
  EXPECT_EQ(tracker_.bytes_done, 0u);
}

TEST_F(ImageWalkTest, NegativeDecisionStopsRightAfterSetupExe) {
  log_.verdict = false;
  EXPECT_EQ(Walk(BuildTestImage({{"Setup.cfg", Bytes("cfg")},
                                 {"first.txt", Bytes("1")},
                                 {"Setup.exe", Bytes("MZ")},
                                 {"after.txt", Bytes("2")}})),
            WalkResult::kEarlyFinish);
  EXPECT_EQ(log_.calls, 1);
  EXPECT_EQ(log_.config, "cfg");  // the entry's bytes, as written
  EXPECT_TRUE(Written("Setup.cfg"));
  EXPECT_TRUE(Written("first.txt"));
  EXPECT_TRUE(Written("Setup.exe"));
  EXPECT_FALSE(Written("after.txt"));
}

TEST_F(ImageWalkTest, PositiveDecisionWritesEverything) {
  EXPECT_EQ(Walk(BuildTestImage({{"Setup.cfg", Bytes("cfg")}, {"Setup.exe", Bytes("MZ")}, {"more.txt", Bytes("3")}})),
            WalkResult::kSuccess);
  EXPECT_EQ(log_.calls, 1);
  EXPECT_TRUE(Written("more.txt"));
}

TEST_F(ImageWalkTest, ConfigAfterSetupExeCannotStopTheWalk) {
  log_.verdict = false;
  EXPECT_EQ(Walk(BuildTestImage({{"Setup.exe", Bytes("MZ")}, {"Setup.cfg", Bytes("cfg")}, {"more.txt", Bytes("3")}})),
            WalkResult::kSuccess);
  EXPECT_EQ(log_.calls, 1);
  EXPECT_TRUE(Written("more.txt"));
}

TEST_F(ImageWalkTest, OnlyTheFirstConfigIsDecided) {
  EXPECT_EQ(
      Walk(BuildTestImage({{"Setup.cfg", Bytes("one")}, {"sub\\x.txt", Bytes("x")}, {"SETUP.CFG", Bytes("two")}})),
      WalkResult::kSuccess);
  EXPECT_EQ(log_.calls, 1);
  EXPECT_EQ(log_.config, "one");
  EXPECT_EQ(ReadBytes(work_ + "Setup.cfg"), Bytes("two"));  // the second one is written all the same
}

TEST_F(ImageWalkTest, CapitalSetupExeMatches) {
  log_.verdict = false;
  EXPECT_EQ(Walk(BuildTestImage({{"setup.CFG", Bytes("cfg")}, {"SETUP.EXE", Bytes("MZ")}, {"late.txt", Bytes("l")}})),
            WalkResult::kEarlyFinish);
  EXPECT_EQ(log_.calls, 1);
  EXPECT_FALSE(Written("late.txt"));
}

TEST_F(ImageWalkTest, SetupExeInSubfolderDoesNotMatch) {
  log_.verdict = false;
  EXPECT_EQ(
      Walk(BuildTestImage({{"Setup.cfg", Bytes("cfg")}, {"bin\\setup.exe", Bytes("MZ")}, {"late.txt", Bytes("l")}})),
      WalkResult::kSuccess);
  EXPECT_TRUE(Written("late.txt"));
}

TEST_F(ImageWalkTest, DamagedEntryKeepsEarlierFilesAndStops) {
  auto image = BuildTestImage({{"a.txt", Bytes("a")}, {"b.txt", Bytes("bb")}, {"c.txt", Bytes("c")}});
  test::DamageImageEntry(image, 1);
  EXPECT_EQ(Walk(image), WalkResult::kCorrupt);
  EXPECT_TRUE(Written("a.txt"));
  EXPECT_FALSE(Written("b.txt"));
  EXPECT_FALSE(Written("c.txt"));
}

TEST_F(ImageWalkTest, NamesLeavingTheFolderAreCorrupt) {
  const char* names[] = {"..\\evil.txt", "sub\\..\\..\\evil.txt", "C:\\evil.txt", "\\evil.txt",
                         "sub/evil.txt", "evil.txt:stream",       "sub\\",        ""};
  for (const char* name : names) {
    EXPECT_EQ(Walk(BuildTestImage({{"good.txt", Bytes("g")}, {name, Bytes("bad")}})), WalkResult::kCorrupt) << name;
    EXPECT_TRUE(Written("good.txt")) << name;
    EXPECT_FALSE(FileExists(scratch_.path() + "evil.txt")) << name;
  }
}

TEST_F(ImageWalkTest, DeviceNamesAreCorrupt) {
  for (const char* name : {"NUL", "sub\\con.txt", "COM1", "lpt\xB9.log"}) {
    EXPECT_EQ(Walk(BuildTestImage({{"good.txt", Bytes("g")}, {name, Bytes("bad")}})), WalkResult::kCorrupt) << name;
    EXPECT_TRUE(Written("good.txt")) << name;
  }
}

TEST_F(ImageWalkTest, EntriesSharingDataAreWrittenEach) {
  auto image = BuildTestImage({{"Setup.exe", Bytes("MZ program")}, {"copy.bin", Bytes("copy")}});
  // copy.bin now points at the data of Setup.exe, the first entry (at 52).
  test::PointEntryAt(image, 1, LoadLE32(image.data() + 52 + 12), 10);
  EXPECT_EQ(Walk(image), WalkResult::kSuccess);
  EXPECT_EQ(ReadBytes(work_ + "copy.bin"), Bytes("MZ program"));
}

TEST_F(ImageWalkTest, NameBeyondThePathBufferIsCorrupt) {
  // The working folder + a name that fills the whole buffer does not fit.
  const std::string too_long(kTargetPathSize - work_.size(), 'n');
  EXPECT_EQ(Walk(BuildTestImage({{too_long, Bytes("x")}})), WalkResult::kCorrupt);
  // One character less fits the buffer; whether the platform can create
  // such a file is another matter, but it is no longer a corrupt image.
  const std::string longest(kTargetPathSize - 1 - work_.size(), 'n');
  EXPECT_NE(Walk(BuildTestImage({{longest, Bytes("x")}})), WalkResult::kCorrupt);
}

// A link planted at the name of a payload sub-folder (by someone who can
// write in the working folder) is never followed: nothing is made through
// it, and the walk ends with a write failure. The link is made here where
// the system can make one; Wine makes none of its own (its
// CreateSymbolicLinkA makes nothing), so there the Unix symbolic link that
// the test's fixture plants (SFX_LINK_FIXTURE: work/data -> outside) is used.
TEST_F(ImageWalkTest, LinkAtASubfolderNameIsNeverFollowed) {
  std::string outside = scratch_.path() + "outside";
  ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
  CreateSymbolicLinkA((work_ + "data").c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  const char* fixture = std::getenv("SFX_LINK_FIXTURE");
  if (GetFileAttributesA((work_ + "data").c_str()) == INVALID_FILE_ATTRIBUTES && fixture != nullptr) {
    // The fixture's folders, on drive Z: (the host's root under Wine).
    std::string base = std::string("Z:") + fixture;
    for (char& c : base) c = c == '/' ? '\\' : c;
    SetFileRoot(nullptr, nullptr);
    CloseHandle(root_);
    work_ = base + "\\work\\";
    outside = base + "\\outside";
    root_ =
        CreateFileA(work_.c_str(), FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(root_, INVALID_HANDLE_VALUE) << work_;
    root_path_ = Wide(work_);
    SetFileRoot(root_, root_path_.c_str());
  }
  const DWORD link = GetFileAttributesA((work_ + "data").c_str());
  if (link == INVALID_FILE_ATTRIBUTES || (link & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    GTEST_SKIP() << "no directory link could be made or found (set SFX_LINK_FIXTURE)";
  }
  EXPECT_EQ(Walk(BuildTestImage({{"Setup.exe", Bytes("MZ")}, {"data\\sub\\planted.txt", Bytes("x")}})),
            WalkResult::kWriteFailed);
  EXPECT_EQ(Narrow(target_path_), work_ + "data\\sub\\planted.txt");
  EXPECT_FALSE(test::FolderExists(outside + "\\sub")) << "nothing is made through the link";
}

TEST_F(ImageWalkTest, UnwritableFileReportsItsPath) {
  const std::string held_path = work_ + "Setup.exe";
  test::WriteText(held_path, "old");
  HANDLE held = CreateFileA(held_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const WalkResult result = Walk(BuildTestImage({{"first.txt", Bytes("1")}, {"Setup.exe", Bytes("MZ")}}));
  CloseHandle(held);
  EXPECT_EQ(result, WalkResult::kWriteFailed);
  EXPECT_EQ(Narrow(target_path_), held_path);
  EXPECT_TRUE(Written("first.txt"));
}

TEST_F(ImageWalkTest, Windows1252NamesBecomeTheirUnicodeNames) {
  // "Docs\xE9\\xDCbersicht \x80.txt": e acute, U umlaut, the euro sign.
  EXPECT_EQ(Walk(BuildTestImage({{"Docs\xE9\\\xDC"
                                  "bersicht \x80.txt",
                                  Bytes("u")}})),
            WalkResult::kSuccess);
  const std::wstring expected = Wide(work_) +
                                L"Docs\u00E9\\\u00DC"
                                L"bersicht \u20AC.txt";
  EXPECT_EQ(std::wstring(target_path_), expected);
  EXPECT_NE(GetFileAttributesW(expected.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ImageWalkTest, WrittenSetupExeIsHeldAndOnlyThen) {
  EXPECT_EQ(Walk(BuildTestImage({{"a.txt", Bytes("a")}})), WalkResult::kSuccess);
  EXPECT_EQ(setup_file_, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Walk(BuildTestImage({{"Setup.exe", Bytes("MZ one")}, {"SETUP.EXE", Bytes("MZ two")}})),
            WalkResult::kSuccess);
  ASSERT_NE(setup_file_, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadBytes(work_ + "Setup.exe"), Bytes("MZ two"));
  EXPECT_FALSE(DeleteFileA((work_ + "Setup.exe").c_str()));
}

TEST(EntryNameTests, WholeNameWithoutRegardToAsciiCase) {
  EXPECT_TRUE(IsSetupProgramName("setup.exe"));
  EXPECT_TRUE(IsSetupProgramName("Setup.exe"));
  EXPECT_TRUE(IsSetupProgramName("SETUP.EXE"));
  EXPECT_FALSE(IsSetupProgramName("bin\\setup.exe"));
  EXPECT_FALSE(IsSetupProgramName("setup.exe.bak"));
  EXPECT_FALSE(IsSetupProgramName("setup.ex"));
  EXPECT_FALSE(IsSetupProgramName(""));
  EXPECT_TRUE(IsSetupConfigName("Setup.cfg"));
  EXPECT_TRUE(IsSetupConfigName("setup.CFG"));
  EXPECT_FALSE(IsSetupConfigName("Setup.cfg2"));
  EXPECT_FALSE(IsSetupConfigName("x\\Setup.cfg"));
  // Bytes above 0x7F are not letters of ASCII and must match exactly.
  EXPECT_FALSE(IsSetupConfigName("Setup.cf\xC7"));
}

TEST(WriteFailureMessage, PathStandsBetweenTheTwoStrings) {
  wchar_t message[kFailureMessageSize];
  const std::wstring head = test::W(test::kEnglishTexts.copy_failed_head);
  const std::wstring tail = test::W(test::kEnglishTexts.copy_failed_tail);
  ComposeWriteFailureMessage(message, head.c_str(), L"C:\\T\\Mivor.40\\Setup.exe", tail.c_str());
  EXPECT_EQ(message, test::CopyFailed(test::kEnglishTexts, L"C:\\T\\Mivor.40\\Setup.exe"));
}

TEST(WriteFailureMessage, OverlongPartsAreCutAtTheBuffer) {
  const std::wstring head(255, L'h');
  const std::wstring path(511, L'p');
  const std::wstring tail(400, L't');
  wchar_t message[kFailureMessageSize + 8];
  std::wmemset(message, L'#', kFailureMessageSize + 8);
  ComposeWriteFailureMessage(message, head.c_str(), path.c_str(), tail.c_str());
  EXPECT_EQ(std::wcslen(message), kFailureMessageSize - 1);
  EXPECT_EQ(message[kFailureMessageSize], L'#');  // nothing written past the buffer
  EXPECT_EQ(std::wstring(message, 255), head);
}

}  // namespace
}  // namespace sfx
