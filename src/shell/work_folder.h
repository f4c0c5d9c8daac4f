// The working folder: the user's temp folder followed by "Mivor.40\".
//
// The temp path comes from GetTempPathA into the run's 256-byte work_folder
// buffer. A failed call, a path that did not fit (GetTempPathA then returns
// the size it needs) and a path too long for the backslash, "Mivor.40\" and
// the terminator all select the fallback "\temp\" at the root of the
// current drive, so the composed folder always fits its buffer.
#pragma once

#include <windows.h>

namespace sfx {

// The fallback temp folder and the working sub-folder appended to it.
inline constexpr char kFallbackTempFolder[] = "\\temp\\";
inline constexpr char kWorkSubfolder[] = "Mivor.40\\";

// `folder` holds what GetTempPathA wrote into a buffer of `buffer_size`
// bytes and `temp_result` is its return value. Replaces the text with the
// fallback when the call failed or the path cannot take the sub-folder.
void SelectTempFolder(char* folder, DWORD buffer_size, DWORD temp_result);

// Appends a backslash when `folder` does not end in one, then "Mivor.40\".
// The caller guarantees room (SelectTempFolder did).
void AppendWorkSubfolder(char* folder);

// Fills `folder` (kWorkFolderSize bytes): temp path or fallback, creates that temp folder
// (result ignored), then appends the working sub-folder.
void BuildWorkFolder(char* folder);

}  // namespace sfx
