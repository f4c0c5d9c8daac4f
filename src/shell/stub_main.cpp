// Process entry of the installer stub.
//
// One pass: close the DLL search path to the current folder, initialise the
// support layer, fix the working folder, claim it (ClaimWorkFolder: a real
// folder of the stub's own) and empty it, run the progress dialog on the
// run's StubRun (its worker extracts the payload), then read the run's
// outcome: positive launches Setup.exe from the working folder when this
// run wrote it, negative was already reported by the worker, and 0 (the
// dialog ended without a result) shows IDS_NO_RESULT and reads the outcome
// once more. A working folder that cannot be claimed, and anything in it
// that cannot be deleted, end the run before the dialog with the
// write-failure message naming that path: nothing is written or launched
// then. A Setup.exe that cannot be started (or that the payload did not
// have) is reported with the system's reason. The exit code is 0 only when
// Setup.exe was started; each failure has its own code (StubExitCode). The
// stub never waits for the setup program, so its exit code says whether
// Setup.exe was started, not how it ended. Every text and path goes through
// the wide (UTF-16) calls.
#include <windows.h>

#include <cwchar>

#include "common/entry_names.h"
#include "payload/worker/extraction_worker.h"
#include "payload/worker/stub_run.h"
#include "shell/empty_folder.h"
#include "shell/extraction_outcome.h"
#include "shell/progress_dialog.h"
#include "shell/resource_ids.h"
#include "shell/setup_launch.h"
#include "shell/support_layer.h"
#include "shell/work_folder.h"
#include "shell/work_folder_claim.h"

namespace {

// Keeps DLLs that lie next to the installer (a downloads folder, for
// instance) from being loaded: the current folder leaves the search path,
// and where the platform offers it only the system folder is searched.
void HardenDllSearch() {
  SetDllDirectoryW(L"");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  // GetProcAddress returns a generic function pointer; the cast restores the
  // real signature of SetDefaultDllDirectories.
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default != nullptr) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Shows the IDS_NO_RESULT message in an error box without owner.
void ReportNoResult(const sfx::StubRun& run) {
  wchar_t text[256];
  LoadStringW(run.instance, IDS_NO_RESULT, text, 256);
  MessageBoxW(nullptr, text, sfx::kMessageCaption, MB_ICONERROR);
}

// Shows the write-failure message for `path` in an error box without owner.
void ReportUnusableFolder(const sfx::StubRun& run, const wchar_t* path) {
  wchar_t message[sfx::kFailureMessageSize];
  sfx::LoadWriteFailureMessage(run.instance, path, message);
  MessageBoxW(nullptr, message, sfx::kMessageCaption, MB_ICONERROR);
}

// Shows the launch-failure message for Setup.exe in the working folder,
// with the system's reason for `error`, in an error box without owner.
void ReportLaunchFailure(const sfx::StubRun& run, DWORD error) {
  wchar_t setup_path[sfx::kSetupCommandLineSize];
  std::wcscpy(setup_path, run.work_folder);
  std::wcscat(setup_path, sfx::kSetupProgramFileName);
  wchar_t message[sfx::kFailureMessageSize];
  sfx::LoadLaunchFailureMessage(run.instance, setup_path, error, message);
  MessageBoxW(nullptr, message, sfx::kMessageCaption, MB_ICONERROR);
}

// The exit code after the dialog: launches Setup.exe when the run allows
// it, reports a launch that fails.
int FinishRun(sfx::StubRun& run, wchar_t* setup_command_line) {
  if (!sfx::OutcomeAllowsLaunch(run, ReportNoResult)) {
    return run.outcome < 0 ? run.failure : sfx::kExitNoResult;
  }
  // Only the Setup.exe that this run wrote, still held unchanged, is
  // started; a payload without one has nothing to start.
  if (run.setup_file == INVALID_HANDLE_VALUE) {
    ReportLaunchFailure(run, ERROR_FILE_NOT_FOUND);
    return sfx::kExitLaunchFailed;
  }
  // Setup.exe starts in the held working folder; a path too long for the
  // process-creation call is given in its short form (SelectLaunchFolder).
  static wchar_t launch_folder[sfx::kWorkFolderSize];
  sfx::SelectLaunchFolder(run.work_folder, launch_folder);
  if (std::wcscmp(launch_folder, run.work_folder) != 0) sfx::StartSetupCommandLine(setup_command_line, launch_folder);
  if (!sfx::LaunchSetup(setup_command_line, launch_folder)) {
    ReportLaunchFailure(run, GetLastError());
    return sfx::kExitLaunchFailed;
  }
  return sfx::kExitSetupStarted;
}

// Claims and empties the working folder; false (after the message) when
// the run has to end: the folder is not the stub's own, or something in it
// stays. A file that survives the emptying would lie beside Setup.exe, where
// Setup.exe might load it.
bool PrepareWorkFolder(sfx::StubRun& run) {
  wchar_t leftover[sfx::kLeftoverPathSize] = {};
  run.work_folder_handle = sfx::ClaimWorkFolder(run.work_folder, sfx::PlatformWorkFolderOps(), leftover);
  if (run.work_folder_handle == INVALID_HANDLE_VALUE) {
    ReportUnusableFolder(run, leftover[0] != L'\0' ? leftover : run.work_folder);
    return false;
  }
  if (!sfx::EmptyFolder(run.work_folder, leftover)) {
    ReportUnusableFolder(run, leftover[0] != L'\0' ? leftover : run.work_folder);
    return false;
  }
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command) {
  HardenDllSearch();
  // The one run of this process. Static storage: the worker is never joined
  // and may still touch the record after this function has returned.
  static sfx::StubRun run;
  run.instance = instance;
  if (!sfx::InitSupportLayer(instance, previous, command_line, show_command)) {
    MessageBoxW(nullptr, L"AfxWinInit failed!", sfx::kMessageCaption, MB_ICONERROR);
  }

  // Without a temp path, or when the folder is not the stub's own, nothing is
  // written: the message names the folder, or what was tried.
  if (!sfx::BuildWorkFolder(run.work_folder)) {
    ReportUnusableFolder(run, run.work_folder);
    return sfx::kExitFolderUnusable;
  }
  if (!PrepareWorkFolder(run)) return sfx::kExitFolderUnusable;

  wchar_t setup_command_line[sfx::kSetupCommandLineSize];
  sfx::StartSetupCommandLine(setup_command_line, run.work_folder);

  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, sfx::ProgressDialogProc,
                  reinterpret_cast<LPARAM>(&run));

  return FinishRun(run, setup_command_line);
}
