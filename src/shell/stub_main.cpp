// Process entry of the installer stub.
//
// One pass: close the DLL search path to the current folder, initialise the
// support layer, fix and empty the working folder, run the progress dialog
// on the run's StubRun (its worker extracts the payload), then read the
// run's outcome: positive launches Setup.exe from the working folder,
// negative was already reported by the worker, and 0 (the dialog ended
// without a result) shows IDS_NO_RESULT and reads the outcome once more.
// The stub always exits with 0 and never waits for the setup program.
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

namespace {

// Keeps DLLs that lie next to the installer (a downloads folder, for
// instance) from being loaded: the current folder leaves the search path,
// and where the platform offers it only the system folder is searched.
void HardenDllSearch() {
  SetDllDirectoryA("");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  // GetProcAddress returns a generic function pointer; the cast restores the
  // real signature of SetDefaultDllDirectories.
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default != nullptr) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Shows the IDS_NO_RESULT message in an error box without owner.
void ReportNoResult(const sfx::StubRun& run) {
  char text[256];
  LoadStringA(run.instance, IDS_NO_RESULT, text, sizeof(text));
  MessageBoxA(nullptr, text, sfx::kMessageCaption, MB_ICONERROR);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command) {
  HardenDllSearch();
  // The one run of this process. Static storage: the worker is never joined
  // and may still touch the record after this function has returned.
  static sfx::StubRun run;
  run.instance = instance;
  if (!sfx::InitSupportLayer(instance, previous, command_line, show_command)) {
    MessageBoxA(nullptr, "AfxWinInit failed!", sfx::kMessageCaption, MB_ICONERROR);
  }

  sfx::BuildWorkFolder(run.work_folder);
  sfx::EmptyFolder(run.work_folder);

  char setup_command_line[sfx::kSetupCommandLineSize];
  sfx::StartSetupCommandLine(setup_command_line, run.work_folder);

  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, sfx::ProgressDialogProc,
                  reinterpret_cast<LPARAM>(&run));

  if (sfx::OutcomeAllowsLaunch(run, ReportNoResult)) sfx::LaunchSetup(setup_command_line, run.work_folder);
  return 0;
}
