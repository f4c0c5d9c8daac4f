// The working folder: the user's temp folder followed by "Mivor.40\".
//
// The temp path comes from GetTempPath2W where kernel32 has it (for SYSTEM
// it names a folder that only SYSTEM can write), otherwise from
// GetTempPathW, and is made full (GetFullPathNameW), so that the "\\?\"
// form of long paths applies to it. The call gives no path longer than
// MAX_PATH + 1 units; for a longer one the variables it reads (TMP, TEMP,
// USERPROFILE) are read directly, so the temp path may have any length the
// platform allows: the run's work_folder buffer takes the longest path there
// is.
// There is no fallback outside the user's temp path: a folder such as
// "\temp\" on the current drive could be owned or linked by anyone. When
// no temp path can be had, the run ends with the write-failure message
// naming what was tried.
#pragma once

#include <windows.h>

namespace sfx {

// The working sub-folder appended to the temp path.
inline constexpr wchar_t kWorkSubfolder[] = L"Mivor.40\\";

// What the temp-path call tries, named in the message when it gives
// nothing: the variables TMP, TEMP and USERPROFILE (and the Windows folder).
inline constexpr wchar_t kTempPathSources[] = L"%TMP%, %TEMP%, %USERPROFILE%, %SystemRoot%";

// `folder` holds a full temp path that a call wrote into a buffer of
// `buffer_size` units and `result` is that call's return value (the length
// on success, 0 on failure, the size needed when it did not fit). Appends
// the sub-folder (and a backslash when the path lacks one) and returns true;
// false, leaving `folder` as it is, when the call failed or the result
// does not fit the buffer.
bool ComposeWorkFolder(wchar_t* folder, DWORD buffer_size, DWORD result);

// Fills `folder` (kWorkFolderSize units) with the full temp path and the
// working sub-folder, and creates the temp folder when it is missing (the
// result is not examined: the claim of the working folder shows a failure).
// False when no usable temp path can be had; `folder` then names what was
// tried (the temp path, or kTempPathSources when the call gave none).
bool BuildWorkFolder(wchar_t* folder);

}  // namespace sfx
