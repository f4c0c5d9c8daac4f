// Writing one extracted file: the folder climb, the chunking and failures.
#include "payload/worker/write_entry_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/win_test_files.h"

namespace sfx {
namespace {

using test::FileExists;
using test::FolderExists;
using test::Narrow;
using test::ReadBytes;
using test::ScratchFolder;
using test::Wide;

// Records every call and passes it on to the real file system (or, for
// writes, optionally shortens it).
struct CallLog {
  std::vector<std::string> calls;  // "open <path>", "mkdir <path> ok|fail", "write <n>", "close"
  int opens = 0;
  int folders_made = 0;
  int folders_failed = 0;
  std::vector<DWORD> write_sizes;
  DWORD short_write_by = 0;
  int closes = 0;
};

CallLog* log_sink = nullptr;

HANDLE LoggedOpen(const wchar_t* path) {
  ++log_sink->opens;
  log_sink->calls.push_back("open " + Narrow(path));
  return PlatformFileOps().open_for_write(path);
}

BOOL LoggedCreateFolder(const wchar_t* path) {
  const BOOL ok = PlatformFileOps().create_folder(path);
  (ok ? log_sink->folders_made : log_sink->folders_failed)++;
  log_sink->calls.push_back("mkdir " + Narrow(path) + (ok ? " ok" : " fail"));
  return ok;
}

BOOL LoggedWrite(HANDLE file, const void* data, DWORD size, DWORD* written) {
  log_sink->write_sizes.push_back(size);
  const DWORD asked = size > log_sink->short_write_by ? size - log_sink->short_write_by : 0;
  return PlatformFileOps().write(file, data, asked, written);
}

void LoggedClose(HANDLE file) {
  ++log_sink->closes;
  PlatformFileOps().close(file);
}

const FileOps kLoggedOps = {LoggedOpen,
                            LoggedCreateFolder,
                            LoggedWrite,
                            LoggedClose,
                            PlatformFileOps().open_for_reading,
                            PlatformFileOps().read};

class WriteEntryFileTest : public ::testing::Test {
 protected:
  void SetUp() override { log_sink = &log_; }
  void TearDown() override { log_sink = nullptr; }

  bool Write(const std::string& path, const std::vector<std::uint8_t>& data) {
    return WriteEntryFileWith(kLoggedOps, Wide(path).c_str(), data.data(), static_cast<std::uint32_t>(data.size()),
                              tracker_);
  }

  ScratchFolder folder_;
  CallLog log_;
  ProgressTracker tracker_ = MakeProgressTracker(1u << 20, nullptr);
};

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return data;
}

TEST_F(WriteEntryFileTest, ClimbsToCreateTwoMissingFolders) {
  const std::string base = folder_.path();
  const std::string path = base + "a\\b\\file.txt";
  ASSERT_TRUE(Write(path, Pattern(10)));
  EXPECT_EQ(log_.opens, 4);
  EXPECT_EQ(log_.folders_made, 2);
  EXPECT_EQ(log_.folders_failed, 1);
  const std::vector<std::string> expected = {
      "open " + path, "mkdir " + base + "a\\b fail", "open " + path, "mkdir " + base + "a ok",
      "open " + path, "mkdir " + base + "a\\b ok",   "open " + path,
  };
  EXPECT_EQ(log_.calls, expected);
  EXPECT_EQ(ReadBytes(path), Pattern(10));
}

TEST_F(WriteEntryFileTest, ExistingFolderNeedsOneOpen) {
  const std::string path = folder_.path() + "file.bin";
  ASSERT_TRUE(Write(path, Pattern(3)));
  EXPECT_EQ(log_.opens, 1);
  EXPECT_EQ(log_.folders_made + log_.folders_failed, 0);
}

TEST_F(WriteEntryFileTest, ReplacesAnExistingFile) {
  const std::string path = folder_.path() + "file.bin";
  test::WriteBytes(path, Pattern(5000));
  ASSERT_TRUE(Write(path, Pattern(7)));
  EXPECT_EQ(ReadBytes(path), Pattern(7));
}

TEST_F(WriteEntryFileTest, WritesAtMostOneMiBPerCall) {
  const std::string exact = folder_.path() + "exact.bin";
  ASSERT_TRUE(Write(exact, Pattern(kWriteCallSize)));
  EXPECT_EQ(log_.write_sizes, std::vector<DWORD>({kWriteCallSize}));
  EXPECT_EQ(tracker_.bytes_done, kWriteCallSize);

  log_.write_sizes.clear();
  const std::string over = folder_.path() + "over.bin";
  ASSERT_TRUE(Write(over, Pattern(kWriteCallSize + 1)));
  EXPECT_EQ(log_.write_sizes, std::vector<DWORD>({kWriteCallSize, 1}));
  EXPECT_EQ(tracker_.bytes_done, 2 * kWriteCallSize + 1);
  EXPECT_EQ(ReadBytes(over), Pattern(kWriteCallSize + 1));
}

TEST_F(WriteEntryFileTest, EmptyEntryMakesEmptyFileWithoutProgress) {
  const std::string path = folder_.path() + "empty.txt";
  ASSERT_TRUE(Write(path, {}));
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(ReadBytes(path).empty());
  EXPECT_TRUE(log_.write_sizes.empty());
  EXPECT_EQ(tracker_.bytes_done, 0u);
  EXPECT_EQ(log_.closes, 1);
}

TEST_F(WriteEntryFileTest, ShortWriteFailsAndClosesTheFile) {
  log_.short_write_by = 1;
  const std::string path = folder_.path() + "short.bin";
  EXPECT_FALSE(Write(path, Pattern(100)));
  EXPECT_EQ(log_.closes, 1);
  EXPECT_EQ(tracker_.bytes_done, 0u);
  EXPECT_EQ(ReadBytes(path).size(), 99u);  // what was written stays
}

TEST_F(WriteEntryFileTest, FileHeldOpenFailsAfterClimbingToTheDrive) {
  const std::string path = folder_.path() + "held.bin";
  test::WriteBytes(path, Pattern(4));
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Write(path, Pattern(8)));
  CloseHandle(held);
  int backslashes = 0;
  for (char c : path) backslashes += c == '\\';
  EXPECT_EQ(log_.opens, backslashes + 1);
  EXPECT_EQ(log_.folders_made, 0);
  EXPECT_EQ(ReadBytes(path), Pattern(4));
}

TEST_F(WriteEntryFileTest, PathWithoutBackslashFailsAfterOneOpen) {
  // A name that cannot be created anywhere: an empty path.
  EXPECT_FALSE(Write("", Pattern(1)));
  EXPECT_EQ(log_.opens, 1);
  EXPECT_EQ(log_.folders_made + log_.folders_failed, 0);
}

TEST_F(WriteEntryFileTest, RealCallsWriteTheFile) {
  const std::string path = folder_.path() + "x\\y.bin";
  const auto data = Pattern(70000);
  ASSERT_TRUE(WriteEntryFile(Wide(path).c_str(), data.data(), static_cast<std::uint32_t>(data.size()), tracker_));
  EXPECT_TRUE(FolderExists(folder_.path() + "x"));
  EXPECT_EQ(ReadBytes(path), data);
}

// HoldWrittenFile on the file `path` that holds `on_disk`, compared with
// `expected`; the handle is closed again.
bool Holds(const std::string& path, const std::vector<std::uint8_t>& on_disk,
           const std::vector<std::uint8_t>& expected) {
  test::WriteBytes(path, on_disk);
  HANDLE held = HoldWrittenFile(PlatformFileOps(), Wide(path).c_str(), expected.data(),
                                static_cast<std::uint32_t>(expected.size()));
  if (held == INVALID_HANDLE_VALUE) return false;
  CloseHandle(held);
  return true;
}

TEST_F(WriteEntryFileTest, HoldsOnlyAFileWithTheWrittenBytes) {
  const std::string path = folder_.path() + "Setup.exe";
  EXPECT_TRUE(Holds(path, Pattern(40000), Pattern(40000)));
  EXPECT_TRUE(Holds(path, {}, {}));
  auto changed = Pattern(40000);
  changed[39999] ^= 1;
  EXPECT_FALSE(Holds(path, changed, Pattern(40000)));
  EXPECT_FALSE(Holds(path, Pattern(39999), Pattern(40000)));
  EXPECT_FALSE(Holds(path, Pattern(40001), Pattern(40000)));
}

TEST_F(WriteEntryFileTest, HeldFileCannotBeChangedOrDeleted) {
  const std::string path = folder_.path() + "Setup.exe";
  const auto data = Pattern(100);
  test::WriteBytes(path, data);
  HANDLE held = HoldWrittenFile(PlatformFileOps(), Wide(path).c_str(), data.data(), 100);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  // Reading and starting the program stay possible.
  EXPECT_EQ(ReadBytes(path), data);
  CloseHandle(held);
}

}  // namespace
}  // namespace sfx
