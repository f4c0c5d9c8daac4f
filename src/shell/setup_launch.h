// Launch of the extracted setup program.
//
// The command line is a double quote, the working folder, "Setup.exe" and a
// closing double quote: the setup program gets no arguments. It starts in
// the working folder with the caller's environment, is shown normally, and
// is not waited for. Everything is UTF-16 (CreateProcessW), so a temp path
// that the ANSI code page cannot spell still names the right file.
#pragma once

#include <windows.h>

#include "payload/worker/stub_run.h"

namespace sfx {

// Size of the command-line buffer in UTF-16 units, terminator included:
// the quotes and "Setup.exe" around a working folder of any length.
inline constexpr int kSetupCommandLineSize = kWorkFolderSize + 12;

// Starts the command line: a double quote followed by `work_folder`.
void StartSetupCommandLine(wchar_t* command_line, const wchar_t* work_folder);

// Appends "Setup.exe" and the closing double quote.
void FinishSetupCommandLine(wchar_t* command_line);

// Start-up information for the setup program: all zero except its size
// (68 bytes in the 32-bit stub), STARTF_USESHOWWINDOW and SW_SHOWNORMAL.
STARTUPINFOW MakeSetupStartupInfo();

// Finishes the command line and starts the setup program in `work_folder`
// with CREATE_DEFAULT_ERROR_MODE. The process and thread handles are
// neither waited on nor closed. True when the process was created; on
// false GetLastError() gives the system's reason.
bool LaunchSetup(wchar_t* command_line, const wchar_t* work_folder);

// The process-creation call LaunchSetup makes, with CreateProcessW's
// parameters (tests put a recorder here).
using CreateProcessCall = BOOL(WINAPI*)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                        LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// LaunchSetup with the given process-creation call.
bool LaunchSetupWith(CreateProcessCall create_process, wchar_t* command_line, const wchar_t* work_folder);

// The folder Setup.exe is started from and in, into `folder`
// (kWorkFolderSize units): the working folder itself while "Setup.exe" in
// it stays below MAX_PATH, so normal paths keep their form. Past that the
// process-creation call takes neither the current folder nor the program's
// path, so the folder's short (8.3) form is used when the volume has one
// that fits; otherwise the working folder as it is (the launch then fails
// and says why).
void SelectLaunchFolder(const wchar_t* work_folder, wchar_t* folder);

// The system's text for `error` (FormatMessageW in the user's language,
// without the trailing line end; the path `insert` fills its %1), or the
// error number when the system has none. `reason` holds `size` units.
void SystemReason(DWORD error, const wchar_t* insert, wchar_t* reason, int size);

// The launch-failure message for the setup program at `setup_path` that
// could not be started because of `error`: IDS_LAUNCH_FAILED_HEAD, the path,
// IDS_LAUNCH_FAILED_TAIL and the system's reason, in `message`
// (kFailureMessageSize units).
void LoadLaunchFailureMessage(HINSTANCE instance, const wchar_t* setup_path, DWORD error, wchar_t* message);

}  // namespace sfx
