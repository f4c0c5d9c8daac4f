// Launch of the extracted setup program.
//
// The command line is a double quote, the working folder, "Setup.exe" and a
// closing double quote: the setup program gets no arguments. It starts in
// the working folder with the caller's environment, is shown normally, and
// is not waited for. Everything is UTF-16 (CreateProcessW), so a temp path
// that the ANSI code page cannot spell still names the right file.
#pragma once

#include <windows.h>

namespace sfx {

// Size of the command-line buffer in UTF-16 units, terminator included.
inline constexpr int kSetupCommandLineSize = 512;

// Starts the command line: a double quote followed by `work_folder`.
void StartSetupCommandLine(wchar_t* command_line, const wchar_t* work_folder);

// Appends "Setup.exe" and the closing double quote.
void FinishSetupCommandLine(wchar_t* command_line);

// Start-up information for the setup program: all zero except its size
// (68 bytes in the 32-bit stub), STARTF_USESHOWWINDOW and SW_SHOWNORMAL.
STARTUPINFOW MakeSetupStartupInfo();

// Finishes the command line and starts the setup program in `work_folder`
// with CREATE_DEFAULT_ERROR_MODE. The result is not examined and the
// process and thread handles are neither waited on nor closed.
void LaunchSetup(wchar_t* command_line, const wchar_t* work_folder);

// The process-creation call LaunchSetup makes, with CreateProcessW's
// parameters (tests put a recorder here).
using CreateProcessCall = BOOL(WINAPI*)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                        LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// LaunchSetup with the given process-creation call.
void LaunchSetupWith(CreateProcessCall create_process, wchar_t* command_line, const wchar_t* work_folder);

}  // namespace sfx
