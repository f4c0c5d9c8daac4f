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

// Size of the work_folder buffer, terminator included: the longest path
// the wide file calls take (32,767 units), so a temp path of any length fits.
inline constexpr int kWorkFolderSize = 32768;

// Exit codes of the stub. 0 only when Setup.exe was started (also after an
// early stop); every failure has its own code, so that a script or a
// deployment tool can tell what went wrong without seeing the message.
enum StubExitCode : int {
  kExitSetupStarted = 0,
  kExitNoResult = 1,        // the dialog ended without a result (IDS_NO_RESULT)
  kExitCorruptPayload = 2,  // IDS_CORRUPT_PAYLOAD
  kExitWriteFailed = 3,     // a file could not be written
  kExitFolderUnusable = 4,  // the working folder could not be claimed or emptied
  kExitLaunchFailed = 5,    // Setup.exe could not be started
};

// The one record of a run, passed from the entry to the dialog and the worker.
struct StubRun {
  // The module instance handle the entry received; used to load resources.
  HINSTANCE instance = nullptr;
  // Temp folder path + "Mivor.40\"; always ends in a backslash.
  wchar_t work_folder[kWorkFolderSize] = {};
  // The claimed working folder, held open without delete sharing from the
  // claim until the process ends (so past the launch of Setup.exe): nobody
  // can rename or replace it meanwhile. The worker makes every file and
  // folder relative to it. INVALID_HANDLE_VALUE until the claim.
  HANDLE work_folder_handle = INVALID_HANDLE_VALUE;
  // The progress dialog's window handle, stored while the dialog initialises.
  HWND dialog = nullptr;
  // The dialog's owner-drawn progress bar, whose user-data word holds the
  // percentage that the worker publishes.
  HWND progress_bar = nullptr;
  // 0 at start, 1 after success (or an early stop), -1 after a reported
  // fatal error.
  volatile LONG outcome = 0;
  // With outcome -1: which failure the worker reported (a StubExitCode),
  // stored before outcome.
  int failure = kExitNoResult;
  // The Setup.exe that this run wrote, open for reading and shared for
  // reading only from the end of its writing until the process ends, so
  // that nobody can change or replace it before it is launched.
  // INVALID_HANDLE_VALUE while the run has written none.
  HANDLE setup_file = INVALID_HANDLE_VALUE;
};

}  // namespace sfx
