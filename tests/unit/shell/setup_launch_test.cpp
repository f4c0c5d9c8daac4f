// Command line and start-up information of the setup program's launch.
#include "shell/setup_launch.h"

#include <gtest/gtest.h>

#include <string>

namespace sfx {
namespace {

TEST(SetupCommandLine, QuotedFullPathOfSetupExe) {
  wchar_t command_line[kSetupCommandLineSize];
  StartSetupCommandLine(command_line, L"D:\\TEMP\\Mivor.40\\");
  EXPECT_STREQ(command_line, L"\"D:\\TEMP\\Mivor.40\\");
  FinishSetupCommandLine(command_line);
  EXPECT_STREQ(command_line, L"\"D:\\TEMP\\Mivor.40\\Setup.exe\"");
}

TEST(SetupCommandLine, LongestWorkFolderFits) {
  const std::wstring folder = L"C:\\" + std::wstring(242, L'x') + L"\\Mivor.40\\";
  ASSERT_EQ(folder.size(), 255u);  // the longest working folder
  wchar_t command_line[kSetupCommandLineSize];
  StartSetupCommandLine(command_line, folder.c_str());
  FinishSetupCommandLine(command_line);
  EXPECT_EQ(std::wstring(command_line), L"\"" + folder + L"Setup.exe\"");
}

// What the launch passed to the process-creation call.
struct RecordedCall {
  int calls = 0;
  bool application_name_null = false;
  std::wstring command_line;
  bool security_null = false;
  BOOL inherit = TRUE;
  DWORD flags = 0;
  bool environment_null = false;
  std::wstring folder;
  STARTUPINFOW startup = {};
};
RecordedCall recorded;

BOOL WINAPI RecordingCreateProcess(LPCWSTR application, LPWSTR command_line, LPSECURITY_ATTRIBUTES process_security,
                                   LPSECURITY_ATTRIBUTES thread_security, BOOL inherit, DWORD flags, LPVOID environment,
                                   LPCWSTR folder, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION /*info*/) {
  ++recorded.calls;
  recorded.application_name_null = application == nullptr;
  recorded.command_line = command_line;
  recorded.security_null = process_security == nullptr && thread_security == nullptr;
  recorded.inherit = inherit;
  recorded.flags = flags;
  recorded.environment_null = environment == nullptr;
  recorded.folder = folder;
  recorded.startup = *startup;
  return FALSE;  // a failed launch is not looked at
}

TEST(SetupLaunch, PassesExactlyTheLaunchParameters) {
  recorded = RecordedCall{};
  wchar_t command_line[kSetupCommandLineSize];
  const wchar_t* folder = L"D:\\TEMP\\Mivor.40\\";
  StartSetupCommandLine(command_line, folder);
  LaunchSetupWith(RecordingCreateProcess, command_line, folder);
  EXPECT_EQ(recorded.calls, 1);
  EXPECT_TRUE(recorded.application_name_null);
  EXPECT_EQ(recorded.command_line, L"\"D:\\TEMP\\Mivor.40\\Setup.exe\"");
  EXPECT_TRUE(recorded.security_null);
  EXPECT_EQ(recorded.inherit, FALSE);
  EXPECT_EQ(recorded.flags, static_cast<DWORD>(CREATE_DEFAULT_ERROR_MODE));
  EXPECT_TRUE(recorded.environment_null);
  EXPECT_EQ(recorded.folder, folder);
  EXPECT_EQ(recorded.startup.cb, sizeof(STARTUPINFOW));
  EXPECT_EQ(recorded.startup.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
  EXPECT_EQ(recorded.startup.wShowWindow, SW_SHOWNORMAL);
}

}  // namespace
}  // namespace sfx
