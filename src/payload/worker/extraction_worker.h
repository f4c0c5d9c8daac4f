// ExtractionWorker: the thread that turns the embedded payload into files in
// the working folder, and the fatal-error report it uses.
#pragma once

#include <windows.h>

#include <cstddef>

#include "payload/worker/stub_run.h"

namespace sfx {

// Caption of every message box of the stub.
inline constexpr wchar_t kMessageCaption[] = L"Mivor! Installer";

// Size of the composed write-failure message in UTF-16 units, terminator
// included.
inline constexpr std::size_t kFailureMessageSize = 1024;

// The thread procedure started by the progress dialog; `run` is the
// StubRun, with instance, work_folder, dialog and progress_bar set. Holds
// the Setup.exe it writes in run->setup_file, stores run->outcome and then
// ends the dialog on every path; returns 0.
DWORD WINAPI ExtractionWorker(LPVOID run);

// Shows `text` in an error box owned by run.dialog; once it is closed,
// stores `failure` in run.failure, then -1 in run.outcome, and ends the
// dialog with result IDOK.
void ReportFatalError(StubRun& run, const wchar_t* text, StubExitCode failure);

// Writes `head` (the IDS_COPY_FAILED_HEAD text), `path` and `tail` (the
// IDS_COPY_FAILED_TAIL text) into `message` (kFailureMessageSize units),
// cutting the text at the buffer's end.
void ComposeWriteFailureMessage(wchar_t* message, const wchar_t* head, const wchar_t* path, const wchar_t* tail);

// The write-failure message for `path`, with the texts of `instance`'s
// string table, in `message` (kFailureMessageSize units).
void LoadWriteFailureMessage(HINSTANCE instance, const wchar_t* path, wchar_t* message);

}  // namespace sfx
