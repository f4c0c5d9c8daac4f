// ExtractionWorker: the thread that turns the embedded payload into files in
// the working folder, and the fatal-error report it uses.
#pragma once

#include <windows.h>

#include <cstddef>

namespace sfx {

// Size of the composed write-failure message, terminator included.
inline constexpr std::size_t kFailureMessageSize = 1024;

// The thread procedure started by the progress dialog. Expects
// ProgressDialog, InstanceHandle and WorkFolder to be set. Ends the dialog
// on every path after storing ExtractionOutcome; returns 0.
DWORD WINAPI ExtractionWorker(LPVOID unused);

// Shows `text` in an error box owned by ProgressDialog; once it is closed,
// stores -1 in ExtractionOutcome and ends the dialog with result 1.
void ReportFatalError(const char* text);

// Writes string 3, `path` and string 4 into `message` (kFailureMessageSize
// bytes), cutting the text at the buffer's end.
void ComposeWriteFailureMessage(char* message, const char* head, const char* path, const char* tail);

}  // namespace sfx
