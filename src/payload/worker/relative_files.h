// Files and folders opened one name at a time, relative to a folder handle
// (NtCreateFile with a root directory), so that no link on the way is
// followed.
//
// A path opened by name follows every junction and symbolic link in it: a
// link planted at a sub-folder's name would make the stub write outside its
// working folder. Here each folder on the way is opened by itself, relative
// to its parent's handle, without following a reparse point, and checked:
// through its handle (Windows opens the link itself, which shows as a
// reparse point) and through its full name (Wine opens the target of a
// symbolic link even when told not to follow links, but reports the name
// itself as a reparse point). Whatever is found to be a link refuses the
// open.
#pragma once

#include <windows.h>

#include <cstddef>

namespace sfx {

// What an open relative to a folder does with the name.
enum class RelativeOpen {
  kFolder,        // open an existing real folder
  kCreateFolder,  // create a new folder; fails when the name exists
  kCreateFile,    // create a new file for writing (shared for reading only),
                  // first deleting a plain file of that name
  kReadFile,      // open an existing plain file for reading, shared for reading only
};

// Opens the part of `path` after its first `root_length` units (one or more
// names separated by backslashes, no "." or "..") below the folder `root`,
// which is the open folder that the first `root_length` units name, walking
// one name at a time. The folders on
// the way must exist and be real folders. Returns the handle of the last
// name (for kCreateFolder closed at once: the result is then any valid
// value), or INVALID_HANDLE_VALUE when something is missing, is a link, or
// the platform refuses; GetLastError() then tells why.
HANDLE OpenRelative(HANDLE root, const wchar_t* path, std::size_t root_length, RelativeOpen how);

// Creates the folder `path` (an absolute path) with `security` and returns
// it open, without delete sharing, in one step: there is no moment at which
// someone else could put another folder or a link in its place. Fails when
// the name exists.
HANDLE CreateHeldFolder(const wchar_t* path, SECURITY_DESCRIPTOR* security);

// The handle opened is a real folder (or, for `want_folder` false, a plain
// file), and neither it nor the name that the first `length` units of
// `path` spell shows a reparse point.
bool IsRealItem(HANDLE item, const wchar_t* path, std::size_t length, bool want_folder);

}  // namespace sfx
