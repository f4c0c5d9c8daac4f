// The installer driver (see installer_driver.h).
//
// Message boxes are found by enumerating the top-level windows: a visible
// window of the installer's process with the class "#32770" and the caption
// "Mivor! Installer". Its text is the static control 0xFFFF; the box's owner
// is the progress dialog when the worker raised it. OK is pressed by posting
// IDOK, and the driver waits for the box to go before looking for the next.
#include "installer_driver.h"

#include <set>

namespace sfx::test {
namespace {

constexpr DWORD kPollMilliseconds = 50;
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
bool AnswerNextBox(DWORD process_id, std::set<HWND>& answered, InstallerRun& run) {
  BoxSearch search = {process_id, &answered, nullptr};
  EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return false;
  HWND box = search.found;
  HWND text = GetDlgItem(box, kMessageTextId);
  run.messages.push_back(text != nullptr ? WindowText(text) : L"");
  HWND owner = GetWindow(box, GW_OWNER);
  run.dialog_captions.push_back(owner != nullptr ? WindowText(owner) : L"");
  HWND folder_text = owner != nullptr ? GetDlgItem(owner, 1003) : nullptr;
  run.dialog_texts.push_back(folder_text != nullptr ? WindowText(folder_text) : L"");
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

DWORD TotalProcesses(HANDLE job, DWORD* active) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof(info), nullptr)) {
    *active = 0;
    return 0;
  }
  *active = info.ActiveProcesses;
  return info.TotalProcesses;
}

}  // namespace

InstallerRun RunInstaller(const std::string& installer, const std::string& temp_folder, DWORD timeout_ms) {
  InstallerRun run;
  HANDLE job = CreateJobObjectA(nullptr, nullptr);

  const auto old_temp = ReplaceVariable("TEMP", temp_folder.c_str());
  const auto old_tmp = ReplaceVariable("TMP", temp_folder.c_str());
  std::string command_line = "\"" + installer + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  run.started = CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &startup, &process) != FALSE;
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
    AnswerNextBox(process.dwProcessId, answered, run);
    if (GetTickCount64() > deadline) break;
  }
  run.finished = WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
  if (run.finished) {
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    // Wait for what the installer launched to end as well.
    DWORD active = 0;
    while (TotalProcesses(job, &active) > 0 && active > 0 && GetTickCount64() <= deadline) Sleep(kPollMilliseconds);
  } else {
    TerminateJobObject(job, 1);
  }
  DWORD active = 0;
  run.processes = TotalProcesses(job, &active);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(job);
  return run;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
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
