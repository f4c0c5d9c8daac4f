// sfx_setup_probe: stands in for Setup.exe in test payloads. It writes its
// command line, its current folder and the show command it was started with
// (-1 when none was given), one per line, to the file named by
// the environment variable SFX_PROBE_LOG (inherited through the installer),
// and exits. Without the variable it does nothing.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char log_path[MAX_PATH + 1];
  const DWORD length = GetEnvironmentVariableA("SFX_PROBE_LOG", log_path, sizeof(log_path));
  if (length == 0 || length >= sizeof(log_path)) return 0;
  char folder[MAX_PATH + 1];
  const DWORD folder_length = GetCurrentDirectoryA(sizeof(folder), folder);
  STARTUPINFOA startup = {};
  GetStartupInfoA(&startup);
  const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
  const std::string report = std::string(GetCommandLineA()) + "\n" +
                             std::string(folder, folder_length < sizeof(folder) ? folder_length : 0) + "\n" +
                             std::to_string(show) + "\n";
  HANDLE file = CreateFileA(log_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
