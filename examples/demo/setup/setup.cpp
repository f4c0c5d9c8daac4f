// The demo's Setup.exe. The installer stub starts it after extraction; it
// writes what it finds to MivorDemoSetup.log in the temp folder and exits:
// its command line, its current folder, and every file below that folder
// with its size. It installs nothing.
#include <windows.h>

#include <string>

namespace {

// Appends "<relative path>  <size> bytes" lines for everything below `folder`.
void ListFiles(const std::string& folder, const std::string& relative, std::string& out) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + relative + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      out += "  " + relative + name + "\\\r\n";
      ListFiles(folder, relative + name + "\\", out);
    } else {
      out += "  " + relative + name + "  " + std::to_string(found.nFileSizeLow) + " bytes\r\n";
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char folder[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(sizeof(folder), folder);
  std::string base = folder;
  if (base.empty() || base.back() != '\\') base += '\\';

  std::string log = "Mivor demo Setup.exe\r\n";
  log += "command line:   " + std::string(GetCommandLineA()) + "\r\n";
  log += "current folder: " + std::string(folder) + "\r\n";
  log += "files around me:\r\n";
  ListFiles(base, "", log);

  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(temp), temp);
  const std::string log_path = std::string(temp) + "MivorDemoSetup.log";
  HANDLE file = CreateFileA(log_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, log.data(), static_cast<DWORD>(log.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
