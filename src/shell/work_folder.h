// The working folder: the user's temp folder followed by "Mivor.40\".
//
// The temp path comes from GetTempPath2W where kernel32 has it (for SYSTEM
// it names a folder that only SYSTEM can write), otherwise from
// GetTempPathW, into the run's 256-unit work_folder buffer. A failed call, a
// path that did not fit (the call then returns the size it needs) and a
// path too long for the backslash, "Mivor.40\" and the terminator all select
// the fallback "\temp\" at the root of the current drive, so the composed
// folder always fits its buffer.
#pragma once

#include <windows.h>

namespace sfx {

// The fallback temp folder and the working sub-folder appended to it.
inline constexpr wchar_t kFallbackTempFolder[] = L"\\temp\\";
inline constexpr wchar_t kWorkSubfolder[] = L"Mivor.40\\";

// `folder` holds what the temp-path call wrote into a buffer of
// `buffer_size` units and `temp_result` is its return value. Replaces the
// text with the fallback when the call failed or the path cannot take the
// sub-folder.
void SelectTempFolder(wchar_t* folder, DWORD buffer_size, DWORD temp_result);

// Appends a backslash when `folder` does not end in one, then "Mivor.40\".
// The caller guarantees room (SelectTempFolder did).
void AppendWorkSubfolder(wchar_t* folder);

// Fills `folder` (kWorkFolderSize units): temp path or fallback, creates
// that temp folder (result ignored), then appends the working sub-folder.
void BuildWorkFolder(wchar_t* folder);

}  // namespace sfx
