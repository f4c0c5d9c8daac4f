// Command line, start-up information and process creation for Setup.exe.
#include "shell/setup_launch.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "common/entry_names.h"
#include "payload/worker/extraction_worker.h"
#include "payload/worker/long_path.h"
#include "shell/resource_ids.h"

namespace sfx {

void StartSetupCommandLine(wchar_t* command_line, const wchar_t* work_folder) {
  // The working folder is below kWorkFolderSize units, so quote + folder +
  // "Setup.exe" + quote + terminator always fits the buffer.
  command_line[0] = L'"';
  std::wcscpy(command_line + 1, work_folder);
}

void FinishSetupCommandLine(wchar_t* command_line) {
  std::wcscat(command_line, kSetupProgramFileName);
  std::wcscat(command_line, L"\"");
}

STARTUPINFOW MakeSetupStartupInfo() {
  STARTUPINFOW startup;
  std::memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);  // 68 in the 32-bit stub, 104 in the 64-bit one
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  return startup;
}

bool LaunchSetup(wchar_t* command_line, const wchar_t* work_folder) {
  return LaunchSetupWith(CreateProcessW, command_line, work_folder);
}

bool LaunchSetupWith(CreateProcessCall create_process, wchar_t* command_line, const wchar_t* work_folder) {
  FinishSetupCommandLine(command_line);
  STARTUPINFOW startup = MakeSetupStartupInfo();
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof(process));
  // The process is left to run on its own: its handles are not kept, and
  // the stub exits right after this call.
  return create_process(nullptr, command_line, nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr, work_folder,
                        &startup, &process) != FALSE;
}

void SelectLaunchFolder(const wchar_t* work_folder, wchar_t* folder) {
  constexpr std::size_t kProgramNameLength = std::size(kSetupProgramFileName) - 1;
  std::wcscpy(folder, work_folder);
  if (std::wcslen(work_folder) + kProgramNameLength < MAX_PATH) return;
  const ExtendedPath long_form(work_folder);
  const DWORD length = GetShortPathNameW(long_form.get(), folder, kWorkFolderSize);
  // The short form of a "\\?\" path keeps the prefix, which the current
  // folder must not have.
  const wchar_t* shortened = folder;
  if (std::wcsncmp(folder, L"\\\\?\\UNC\\", 8) == 0) {
    shortened = folder + 6;
    folder[6] = L'\\';
  } else if (std::wcsncmp(folder, L"\\\\?\\", 4) == 0) {
    shortened = folder + 4;
  }
  if (length == 0 || length >= kWorkFolderSize || std::wcslen(shortened) + kProgramNameLength >= MAX_PATH) {
    std::wcscpy(folder, work_folder);
    return;
  }
  std::wmemmove(folder, shortened, std::wcslen(shortened) + 1);
}

void SystemReason(DWORD error, const wchar_t* insert, wchar_t* reason, int size) {
  // Every insert the text may name (%1 to %9) gets the path: a text like
  // "%1 is not a valid Win32 application." then reads naturally, and no
  // insert reads past the argument array.
  DWORD_PTR arguments[9];
  for (DWORD_PTR& argument : arguments) argument = reinterpret_cast<DWORD_PTR>(insert);
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, error, 0, reason,
                                static_cast<DWORD>(size), reinterpret_cast<va_list*>(arguments));
  while (length > 0 && (reason[length - 1] == L'\n' || reason[length - 1] == L'\r' || reason[length - 1] == L' ')) {
    --length;
  }
  if (length == 0) {
    std::swprintf(reason, static_cast<std::size_t>(size), L"%lu", static_cast<unsigned long>(error));
  } else {
    reason[length] = L'\0';
  }
}

void LoadLaunchFailureMessage(HINSTANCE instance, const wchar_t* setup_path, DWORD error, wchar_t* message) {
  constexpr int kStringSize = 256;
  wchar_t head[kStringSize];
  wchar_t tail[kStringSize];
  wchar_t reason[kStringSize * 2];
  LoadStringW(instance, IDS_LAUNCH_FAILED_HEAD, head, kStringSize);
  LoadStringW(instance, IDS_LAUNCH_FAILED_TAIL, tail, kStringSize);
  SystemReason(error, setup_path, reason, kStringSize * 2);
  ComposeWriteFailureMessage(message, head, setup_path, tail);
  const std::size_t used = std::wcslen(message);
  std::wcsncat(message, reason, kFailureMessageSize - 1 - used);
}

}  // namespace sfx
