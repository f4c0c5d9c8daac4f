// The installer driver (see installer_driver.h).
//
// Message boxes are found by enumerating the top-level windows: a visible
// window of the installer's process with the class "#32770" and the caption
// "Mivor! Installer". Its text is the static control 0xFFFF; the box's owner
// is the progress dialog when the worker raised it. OK is pressed by posting
// IDOK, and the driver waits for the box to go before looking for the next.
#include "installer_driver.h"

#include <cstdio>
#include <set>
#include <string>

#include "shell/resource_ids.h"

namespace sfx::test {
namespace {

constexpr DWORD kPollMilliseconds = 50;
constexpr int kStartAttempts = 3;
constexpr DWORD kRetryPauseMilliseconds = 1000;

// Errors with which the loader refuses the file itself: starting it again
// cannot help.
bool IsRefusedImage(DWORD error) {
  return error == ERROR_BAD_EXE_FORMAT || error == ERROR_EXE_MARKED_INVALID || error == ERROR_FILE_NOT_FOUND ||
         error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_EXE_SIGNATURE || error == ERROR_ACCESS_DENIED;
}
constexpr wchar_t kCaption[] = L"Mivor! Installer";
constexpr int kMessageTextId = 0xFFFF;

std::wstring WindowText(HWND window) {
  wchar_t text[4096];
  const int length = GetWindowTextW(window, text, 4096);
  return std::wstring(text, length > 0 ? length : 0);
}

struct BoxSearch {
  DWORD process_id;
  const std::set<HWND>* answered;
  HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<BoxSearch*>(context);
  DWORD owner_process = 0;
  GetWindowThreadProcessId(window, &owner_process);
  if (owner_process != search->process_id || !IsWindowVisible(window)) return TRUE;
  if (search->answered->count(window) != 0) return TRUE;
  wchar_t class_name[16];
  if (GetClassNameW(window, class_name, 16) == 0 || lstrcmpW(class_name, L"#32770") != 0) return TRUE;
  if (WindowText(window) != kCaption) return TRUE;
  search->found = window;
  return FALSE;
}

// Answers one box if there is one; false when none was found.
bool AnswerNextBox(DWORD process_id, std::set<HWND>& answered, InstallerRun& run,
                   const std::function<void(const std::wstring&)>& on_message) {
  BoxSearch search = {process_id, &answered, nullptr};
  EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return false;
  HWND box = search.found;
  HWND text = GetDlgItem(box, kMessageTextId);
  run.messages.push_back(text != nullptr ? WindowText(text) : L"");
  HWND owner = GetWindow(box, GW_OWNER);
  run.dialog_captions.push_back(owner != nullptr ? WindowText(owner) : L"");
  HWND folder_text = owner != nullptr ? GetDlgItem(owner, IDC_PROGRESS_TEXT) : nullptr;
  run.dialog_texts.push_back(folder_text != nullptr ? WindowText(folder_text) : L"");
  if (on_message) on_message(run.messages.back());
  answered.insert(box);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 200 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(kPollMilliseconds);
  return true;
}

// Sets or clears (null) an environment variable, returning the old value.
std::pair<bool, std::string> ReplaceVariable(const char* name, const char* value) {
  char old[32768];
  const DWORD length = GetEnvironmentVariableA(name, old, sizeof(old));
  SetEnvironmentVariableA(name, value);
  if (length == 0 || length >= sizeof(old)) return {false, {}};
  return {true, std::string(old, length)};
}

void RestoreVariable(const char* name, const std::pair<bool, std::string>& old) {
  SetEnvironmentVariableA(name, old.first ? old.second.c_str() : nullptr);
}

DWORD TotalProcesses(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof(info), nullptr)) return 0;
  return info.TotalProcesses;
}

// File name of a running process's image; empty when unknown.
std::string ImageName(DWORD process_id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (process == nullptr) return {};
  char path[MAX_PATH + 1];
  DWORD size = sizeof(path);
  std::string name;
  if (QueryFullProcessImageNameA(process, 0, path, &size)) {
    name.assign(path, size);
    name = name.substr(name.find_last_of('\\') + 1);
  }
  CloseHandle(process);
  return name;
}

// Wine starts helper processes of its own on demand (the desktop's
// explorer.exe above all), and a helper started by a process of the job
// lands in the job. They live on after the installer; they are neither
// waited for nor counted.
bool IsWineHelper(const std::string& name) {
  static const char* const kHelpers[] = {"explorer.exe", "conhost.exe", "services.exe", "winedevice.exe",
                                         "plugplay.exe", "rpcss.exe",   "svchost.exe",  "rundll32.exe"};
  for (const char* helper : kHelpers) {
    if (lstrcmpiA(name.c_str(), helper) == 0) return true;
  }
  return false;
}

// Processes of the job that are still running and are not Wine helpers;
// helpers seen are added to `helpers`.
int ActiveOwnProcesses(HANDLE job, std::set<DWORD>& helpers) {
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[63];
  } ids = {};
  ids.list.NumberOfAssignedProcesses = 64;
  if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof(ids), nullptr)) return 0;
  int own = 0;
  for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
    const auto id = static_cast<DWORD>(ids.list.ProcessIdList[i]);
    if (helpers.count(id) != 0) continue;
    if (IsWineHelper(ImageName(id))) {
      helpers.insert(id);
    } else {
      ++own;
    }
  }
  return own;
}

}  // namespace

InstallerRun RunInstaller(const std::string& installer, const std::string& temp_folder, DWORD timeout_ms,
                          const std::function<void(const std::wstring&)>& on_message) {
  InstallerRun run;
  // The desktop window makes Wine start its desktop process now, outside
  // the job, instead of from inside the installer.
  GetDesktopWindow();
  HANDLE job = CreateJobObjectA(nullptr, nullptr);

  const auto old_temp = ReplaceVariable("TEMP", temp_folder.c_str());
  const auto old_tmp = ReplaceVariable("TMP", temp_folder.c_str());
  PROCESS_INFORMATION process = {};
  for (int attempt = 1; attempt <= kStartAttempts && !run.started; ++attempt) {
    std::string command_line = "\"" + installer + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    run.started = CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                 nullptr, &startup, &process) != FALSE;
    run.start_error = run.started ? 0 : GetLastError();
    if (run.started || IsRefusedImage(run.start_error)) break;
    std::fprintf(stderr, "installer driver: %s did not start (error %lu, attempt %d of %d)\n", installer.c_str(),
                 static_cast<unsigned long>(run.start_error), attempt, kStartAttempts);
    Sleep(kRetryPauseMilliseconds);
  }
  RestoreVariable("TEMP", old_temp);
  RestoreVariable("TMP", old_tmp);
  if (!run.started) {
    CloseHandle(job);
    return run;
  }
  // In the job before its first instruction: every child lands there too.
  AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);

  std::set<HWND> answered;
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  while (WaitForSingleObject(process.hProcess, kPollMilliseconds) == WAIT_TIMEOUT) {
    AnswerNextBox(process.dwProcessId, answered, run, on_message);
    if (GetTickCount64() > deadline) break;
  }
  run.finished = WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
  std::set<DWORD> helpers;
  if (run.finished) {
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    // Wait for what the installer launched to end as well.
    while (ActiveOwnProcesses(job, helpers) > 0 && GetTickCount64() <= deadline) Sleep(kPollMilliseconds);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  ActiveOwnProcesses(job, helpers);
  run.processes = TotalProcesses(job) - static_cast<DWORD>(helpers.size());
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(job);
  return run;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

}  // namespace sfx::test
