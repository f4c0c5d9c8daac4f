// The progress dialog (IDD_PROGRESS): the working folder under a line of
// text and an owner-drawn bar with the percentage extracted so far.
//
// The dialog is run with the StubRun as its parameter. WM_INITDIALOG shows
// the run's working folder, sets IDI_STUB as the class icon, stores the
// dialog and its progress bar in the run and then starts the extraction
// worker on it. WM_DRAWITEM paints the bar from the percentage in the
// control's user-data word. WM_COMMAND with wParam IDOK ends the dialog;
// every other command is ignored.
#pragma once

#include <windows.h>

#include <cstdint>

namespace sfx {

// The dialog procedure; the WM_INITDIALOG lParam is the StubRun.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Writes `percent` in decimal followed by '%' and a terminator into `label`
// (at least 12 bytes); returns the label's length.
int FormatPercentLabel(std::uint32_t percent, char* label);

// Right edge of the filled bar: (right - left) * percent / 100, truncated,
// and never beyond the item's width.
LONG ProgressBarRight(const RECT& item, std::uint32_t percent);

// Thread procedure that WM_INITDIALOG starts with the StubRun as its
// parameter; ExtractionWorker in the stub. Tests put their own procedure
// here to drive the dialog.
extern LPTHREAD_START_ROUTINE progress_worker_routine;

}  // namespace sfx
