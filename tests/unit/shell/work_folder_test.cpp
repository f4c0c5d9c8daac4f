// Composition of the working folder from the temp path.
#include "shell/work_folder.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "payload/worker/stub_run.h"
#include "support/win_test_files.h"

namespace sfx {
namespace {

// Runs ComposeWorkFolder on a temp path and the value the temp-path call
// would have returned; "failed" when it refuses.
std::string Compose(const std::string& temp_path, DWORD temp_result, DWORD buffer_size = 256) {
  std::wstring folder(buffer_size, L'\0');
  const std::wstring wide = test::Wide(temp_path);
  folder.replace(0, wide.size(), wide);
  if (!ComposeWorkFolder(folder.data(), buffer_size, temp_result)) return "failed";
  return test::Narrow(folder.c_str());
}

TEST(WorkFolderComposition, AppendsTheSubfolderToAnyTempPathThatFits) {
  const std::string long_path = "C:\\" + std::string(300, 'x');  // no fallback at any length
  struct Case {
    std::string temp;
    DWORD result;  // what the temp-path call returned
    DWORD buffer;
    std::string folder;
  } const cases[] = {
      {"D:\\TEMP\\", 8, 256, "D:\\TEMP\\Mivor.40\\"},
      {"D:\\TEMP", 7, 256, "D:\\TEMP\\Mivor.40\\"},
      {long_path, 303, 1024, long_path + "\\Mivor.40\\"},
      {"", 0, 256, "failed"},                                // the call failed
      {"C:\\garbage", 300, 256, "failed"},                   // the size it would have needed
      {"C:\\" + std::string(243, 'x'), 246, 256, "failed"},  // no room for the sub-folder
  };
  for (const Case& c : cases) EXPECT_EQ(Compose(c.temp, c.result, c.buffer), c.folder) << c.temp;
}

TEST(WorkFolderBuild, UsesTheTempVariableAndCreatesTheTempFolder) {
  test::ScratchFolder scratch;
  const std::string temp = scratch.path() + "newtemp";  // does not exist yet
  char saved_tmp[1024] = {};
  const DWORD had_tmp = GetEnvironmentVariableA("TMP", saved_tmp, sizeof(saved_tmp));
  ASSERT_TRUE(SetEnvironmentVariableA("TMP", temp.c_str()));
  static wchar_t folder[kWorkFolderSize];
  EXPECT_TRUE(BuildWorkFolder(folder));
  SetEnvironmentVariableA("TMP", had_tmp != 0 ? saved_tmp : nullptr);
  EXPECT_EQ(test::Narrow(folder), temp + "\\Mivor.40\\");
  EXPECT_TRUE(test::FolderExists(temp));
  EXPECT_FALSE(test::FolderExists(temp + "\\Mivor.40"));  // made when the folder is claimed
}

}  // namespace
}  // namespace sfx
