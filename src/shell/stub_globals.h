// Process-wide state of the installer stub, shared by the entry, the progress
// dialog and the extraction worker.
//
// InstanceHandle, WorkFolder and ProgressDialog are written once on the main
// thread before the worker thread is created and only read afterwards, so the
// worker reads them without locking. ExtractionOutcome is written only by the
// worker, always with an interlocked exchange and always before it asks the
// dialog to end; the main thread reads it after the modal dialog returned.
#pragma once

#include <windows.h>

namespace sfx {

// Size of the WorkFolder buffer, terminator included.
inline constexpr int kWorkFolderSize = 256;

// Caption of every message box of the stub.
inline constexpr char kMessageCaption[] = "Mivor! Installer";

// Module instance handle the entry received; used to load resources.
extern HINSTANCE InstanceHandle;

// The progress dialog's window handle, stored while the dialog initialises.
extern HWND ProgressDialog;

// Temp folder path + "Mivor.40\"; always ends in a backslash.
extern char WorkFolder[kWorkFolderSize];

// 0 at start, 1 after success (or an early stop), -1 after a reported fatal error.
extern volatile LONG ExtractionOutcome;

}  // namespace sfx
