// Command line and start-up information of the setup program's launch.
#include "shell/setup_launch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace sfx {
namespace {

TEST(SetupCommandLine, QuotedFullPathOfSetupExe) {
  char command_line[kSetupCommandLineSize];
  StartSetupCommandLine(command_line, "D:\\TEMP\\Mivor.40\\");
  EXPECT_STREQ(command_line, "\"D:\\TEMP\\Mivor.40\\");
  FinishSetupCommandLine(command_line);
  EXPECT_STREQ(command_line, "\"D:\\TEMP\\Mivor.40\\Setup.exe\"");
}

TEST(SetupCommandLine, LongestWorkFolderFits) {
  const std::string folder = "C:\\" + std::string(242, 'x') + "\\Mivor.40\\";
  ASSERT_EQ(folder.size(), 255u);  // the longest WorkFolder
  char command_line[kSetupCommandLineSize];
  StartSetupCommandLine(command_line, folder.c_str());
  FinishSetupCommandLine(command_line);
  EXPECT_EQ(std::string(command_line), "\"" + folder + "Setup.exe\"");
}

TEST(SetupStartupInfo, OnlySizeFlagsAndShowCommandAreSet) {
  const STARTUPINFOA startup = MakeSetupStartupInfo();
  EXPECT_EQ(startup.cb, 68u);
  EXPECT_EQ(startup.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
  EXPECT_EQ(startup.wShowWindow, SW_SHOWNORMAL);
  STARTUPINFOA expected;
  std::memset(&expected, 0, sizeof(expected));
  expected.cb = 68;
  expected.dwFlags = STARTF_USESHOWWINDOW;
  expected.wShowWindow = SW_SHOWNORMAL;
  EXPECT_EQ(std::memcmp(&startup, &expected, sizeof(expected)), 0);
}

}  // namespace
}  // namespace sfx
