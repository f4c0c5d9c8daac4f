// StubRun: the state of one run of the stub that the entry, the progress
// dialog and the extraction worker share.
//
// The entry makes the one record and fills instance and work_folder; it
// hands the record to the dialog (the DialogBoxParamA parameter), whose
// WM_INITDIALOG fills dialog and progress_bar and then passes it to the
// worker as the thread parameter. These four fields are written once, on
// the main thread, before the worker thread is created, and only read
// afterwards, so the worker reads them without locking. outcome is written
// only by the worker, always with an interlocked exchange and always before
// it asks the dialog to end; the entry reads it after the modal call has
// returned. The worker is never joined, so the record must outlive the
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
  char work_folder[kWorkFolderSize] = {};
  // The progress dialog's window handle, stored while the dialog initialises.
  HWND dialog = nullptr;
  // The dialog's owner-drawn progress bar, whose user-data word holds the
  // percentage that the worker publishes.
  HWND progress_bar = nullptr;
  // 0 at start, 1 after success (or an early stop), -1 after a reported
  // fatal error.
  volatile LONG outcome = 0;
};

}  // namespace sfx
