// The progress dialog (template 103): the working folder under a line of
// text and an owner-drawn bar with the percentage extracted so far.
//
// WM_INITDIALOG shows the folder, sets icon 103 as the class icon, stores
// ProgressDialog and then starts the extraction worker. WM_DRAWITEM paints
// the bar from the percentage in the control's user-data word. WM_COMMAND
// with wParam 1 ends the dialog; every other command is ignored.
#pragma once

#include <windows.h>

#include <cstdint>

namespace sfx {

// The dialog procedure.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Writes `percent` in decimal followed by '%' and a terminator into `label`
// (at least 12 bytes); returns the label's length.
int FormatPercentLabel(std::uint32_t percent, char* label);

// Right edge of the filled bar: (right - left) * percent / 100, truncated,
// and never beyond the item's width.
LONG ProgressBarRight(const RECT& item, std::uint32_t percent);

// Thread procedure that WM_INITDIALOG starts; ExtractionWorker in the stub.
// Tests put their own procedure here to drive the dialog.
extern LPTHREAD_START_ROUTINE progress_worker_routine;

}  // namespace sfx
