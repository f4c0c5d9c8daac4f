// StubRun: the state of one run of the stub that the entry, the progress
// dialog and the extraction worker share.
//
// The entry makes the one record and fills instance and work_folder; it
// hands the record to the dialog (the DialogBoxParamW parameter), whose
// WM_INITDIALOG fills dialog and progress_bar and then passes it to the
// worker as the thread parameter. These four fields are written once, on
// the main thread, before the worker thread is created, and only read
// afterwards, so the worker reads them without locking. outcome is written
// only by the worker, always with an interlocked exchange and always before
// it asks the dialog to end; the entry reads it after the modal call has
// returned. setup_file is written by the worker before it stores outcome
// (the interlocked exchange orders the two), and read by the entry after. The worker is never joined, so the record must outlive the
// entry's frame: the entry keeps it in static storage.
#pragma once

#include <windows.h>

namespace sfx {

// Size of the work_folder buffer, terminator included.
inline constexpr int kWorkFolderSize = 256;

// The one record of a run, passed from the entry to the dialog and the worker.
struct StubRun {
  // The module instance handle the entry received; used to load resources.
  HINSTANCE instance = nullptr;
  // Temp folder path + "Mivor.40\"; always ends in a backslash.
  wchar_t work_folder[kWorkFolderSize] = {};
  // The progress dialog's window handle, stored while the dialog initialises.
  HWND dialog = nullptr;
  // The dialog's owner-drawn progress bar, whose user-data word holds the
  // percentage that the worker publishes.
  HWND progress_bar = nullptr;
  // 0 at start, 1 after success (or an early stop), -1 after a reported
  // fatal error.
  volatile LONG outcome = 0;
  // The Setup.exe that this run wrote, open for reading and shared for
  // reading only from the end of its writing until the process ends, so
  // that nobody can change or replace it before it is launched.
  // INVALID_HANDLE_VALUE while the run has written none.
  HANDLE setup_file = INVALID_HANDLE_VALUE;
};

}  // namespace sfx
