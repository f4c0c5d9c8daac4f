// ExtractionWorker: the thread that turns the embedded payload into files in
// the working folder, and the fatal-error report it uses.
#pragma once

#include <windows.h>

#include <cstddef>

#include "payload/worker/stub_run.h"

namespace sfx {

// Caption of every message box of the stub.
inline constexpr char kMessageCaption[] = "Mivor! Installer";

// Size of the composed write-failure message, terminator included.
inline constexpr std::size_t kFailureMessageSize = 1024;

// The thread procedure started by the progress dialog; `run` is the
// StubRun, with instance, work_folder, dialog and progress_bar set. Stores
// run->outcome and then ends the dialog on every path; returns 0.
DWORD WINAPI ExtractionWorker(LPVOID run);

// Shows `text` in an error box owned by run.dialog; once it is closed,
// stores -1 in run.outcome and ends the dialog with result IDOK.
void ReportFatalError(StubRun& run, const char* text);

// Writes `head` (the IDS_COPY_FAILED_HEAD text), `path` and `tail` (the
// IDS_COPY_FAILED_TAIL text) into `message` (kFailureMessageSize bytes),
// cutting the text at the buffer's end.
void ComposeWriteFailureMessage(char* message, const char* head, const char* path, const char* tail);

}  // namespace sfx
