// Command line, start-up information and process creation for Setup.exe.
#include "shell/setup_launch.h"

#include <cstring>
#include <cwchar>

namespace sfx {

void StartSetupCommandLine(wchar_t* command_line, const wchar_t* work_folder) {
  // The working folder is at most 255 units, so quote + folder + "Setup.exe"
  // + quote + terminator always fits the 512-unit buffer.
  command_line[0] = L'"';
  std::wcscpy(command_line + 1, work_folder);
}

void FinishSetupCommandLine(wchar_t* command_line) { std::wcscat(command_line, L"Setup.exe\""); }

STARTUPINFOW MakeSetupStartupInfo() {
  STARTUPINFOW startup;
  std::memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);  // 68 in the 32-bit stub, 104 in the 64-bit one
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  return startup;
}

void LaunchSetup(wchar_t* command_line, const wchar_t* work_folder) {
  LaunchSetupWith(CreateProcessW, command_line, work_folder);
}

void LaunchSetupWith(CreateProcessCall create_process, wchar_t* command_line, const wchar_t* work_folder) {
  FinishSetupCommandLine(command_line);
  STARTUPINFOW startup = MakeSetupStartupInfo();
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof(process));
  // The process is left to run on its own: its handles are not kept, and
  // the stub exits right after this call.
  create_process(nullptr, command_line, nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr, work_folder,
                 &startup, &process);
}

}  // namespace sfx
