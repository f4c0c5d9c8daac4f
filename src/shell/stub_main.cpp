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
// then. The stub always exits with 0 and never waits for the setup program.
// Every text and path goes through the wide (UTF-16) calls.
#include <windows.h>

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

// Claims and empties the working folder; false (after the message) when
// the run has to end: the folder is not the stub's own, or something in it
// stays. A file that survives the emptying would lie beside Setup.exe, where
// Setup.exe might load it.
bool PrepareWorkFolder(const sfx::StubRun& run) {
  if (!sfx::ClaimWorkFolder(run.work_folder, sfx::PlatformWorkFolderOps())) {
    ReportUnusableFolder(run, run.work_folder);
    return false;
  }
  wchar_t leftover[sfx::kLeftoverPathSize] = {};
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

  sfx::BuildWorkFolder(run.work_folder);
  if (!PrepareWorkFolder(run)) return 0;

  wchar_t setup_command_line[sfx::kSetupCommandLineSize];
  sfx::StartSetupCommandLine(setup_command_line, run.work_folder);

  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, sfx::ProgressDialogProc,
                  reinterpret_cast<LPARAM>(&run));

  // Only the Setup.exe that this run wrote, still held unchanged, is started.
  if (sfx::OutcomeAllowsLaunch(run, ReportNoResult) && run.setup_file != INVALID_HANDLE_VALUE) {
    sfx::LaunchSetup(setup_command_line, run.work_folder);
  }
  return 0;
}
