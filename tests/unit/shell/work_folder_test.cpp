// Composition of the working folder from the temp path, and the fallback.
#include "shell/work_folder.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "support/win_test_files.h"

namespace sfx {
namespace {

// Runs SelectTempFolder and AppendWorkSubfolder as BuildWorkFolder does, on
// a temp path and the value the temp-path call would have returned.
std::string Compose(const std::string& temp_path, DWORD temp_result) {
  wchar_t folder[256] = {};
  const std::wstring wide = test::Wide(temp_path);
  std::wmemcpy(folder, wide.data(), wide.size() < 255 ? wide.size() : 255);
  SelectTempFolder(folder, 256, temp_result);
  AppendWorkSubfolder(folder);
  return test::Narrow(folder);
}

std::string ComposeFitting(const std::string& temp_path) {
  return Compose(temp_path, static_cast<DWORD>(temp_path.size()));
}

TEST(WorkFolderComposition, TrailingBackslashIsNotDoubled) {
  EXPECT_EQ(ComposeFitting("D:\\TEMP\\"), "D:\\TEMP\\Mivor.40\\");
}

TEST(WorkFolderComposition, MissingBackslashIsAdded) { EXPECT_EQ(ComposeFitting("D:\\TEMP"), "D:\\TEMP\\Mivor.40\\"); }

TEST(WorkFolderComposition, FailedTempPathSelectsFallback) { EXPECT_EQ(Compose("", 0), "\\temp\\Mivor.40\\"); }

TEST(WorkFolderComposition, TempPathLongerThanBufferSelectsFallback) {
  // The temp-path call returns the size it needs when the path does not fit.
  EXPECT_EQ(Compose("C:\\garbage", 300), "\\temp\\Mivor.40\\");
  EXPECT_EQ(Compose("C:\\garbage", 256), "\\temp\\Mivor.40\\");
}

TEST(WorkFolderComposition, LongestFittingPathIsKept) {
  // 245 characters + backslash + "Mivor.40\" = 255 characters, plus terminator.
  const std::string path = "C:\\" + std::string(242, 'x');
  ASSERT_EQ(path.size(), 245u);
  const std::string folder = ComposeFitting(path);
  EXPECT_EQ(folder, path + "\\Mivor.40\\");
  EXPECT_EQ(folder.size(), 255u);
  const std::string with_backslash = "C:\\" + std::string(242, 'x') + "\\";
  ASSERT_EQ(with_backslash.size(), 246u);
  EXPECT_EQ(ComposeFitting(with_backslash).size(), 255u);
}

TEST(WorkFolderComposition, PathTooLongForTheSubfolderSelectsFallback) {
  const std::string path = "C:\\" + std::string(243, 'x');  // 246 characters, no backslash
  EXPECT_EQ(ComposeFitting(path), "\\temp\\Mivor.40\\");
  const std::string with_backslash = "C:\\" + std::string(243, 'x') + "\\";  // 247 characters
  EXPECT_EQ(ComposeFitting(with_backslash), "\\temp\\Mivor.40\\");
}

TEST(WorkFolderBuild, UsesTheTempVariableAndCreatesTheTempFolder) {
  test::ScratchFolder scratch;
  const std::string temp = scratch.path() + "newtemp";  // does not exist yet
  char saved_tmp[1024] = {};
  const DWORD had_tmp = GetEnvironmentVariableA("TMP", saved_tmp, sizeof(saved_tmp));
  ASSERT_TRUE(SetEnvironmentVariableA("TMP", temp.c_str()));
  wchar_t folder[256];
  BuildWorkFolder(folder);
  SetEnvironmentVariableA("TMP", had_tmp != 0 ? saved_tmp : nullptr);
  EXPECT_EQ(test::Narrow(folder), temp + "\\Mivor.40\\");
  EXPECT_TRUE(test::FolderExists(temp));
  EXPECT_FALSE(test::FolderExists(temp + "\\Mivor.40"));  // made when the folder is claimed
}

}  // namespace
}  // namespace sfx
