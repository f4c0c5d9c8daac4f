// ClaimWorkFolder: makes the working folder a real folder of the stub's own
// and holds it before anything is written into it.
//
// The folder's name is fixed, so someone else may have put something in its
// place: a junction or symbolic link (which would make the stub empty, fill
// and launch from the link's target), a file, or a folder that someone else
// owns and can still write in. The claim looks at the name without following
// links, removes whatever does not belong to the stub (a link as the link
// itself), and ends holding the folder open without delete sharing, so that
// it can be neither renamed nor replaced until the process ends.
//
// The protection depends on the run. Unelevated, the folder grants full
// control to the user, SYSTEM and Administrators. Elevated, it grants SYSTEM
// and Administrators only, is owned by Administrators and carries a High
// mandatory label with no-write-up, inherited by everything inside: the
// user's own unelevated programs can then neither write in it nor change it.
// An elevated run keeps an existing folder only when it is owned by
// Administrators or SYSTEM and carries exactly that protection; an
// unelevated run keeps one the user or SYSTEM owns and gives it its access
// list. On a volume that keeps no access lists (FAT32, exFAT; Windows
// reports Everyone as every owner there) owners and access lists are left
// out and an existing folder is used as it is. A new folder is created and
// held in one step, with its protection, so nothing can take its place in
// between. The decisions (DecideWorkFolderAction, MayKeepFolder,
// HasElevatedProtection) are apart from the platform calls (WorkFolderOps),
// so that they can be tested without real access lists.
#pragma once

#include <windows.h>

namespace sfx {

// What is found at the working folder's name.
enum class PathKind {
  kMissing,     // nothing
  kLink,        // a reparse point (junction, symbolic link), file or folder
  kFile,        // a plain file
  kFolder,      // a real folder
  kUnreadable,  // something that cannot be looked at
};

// Who owns a folder, as far as the decision goes.
enum class OwnerKind {
  kCurrentUser,     // the user of the stub's token
  kAdministrators,  // the BUILTIN\Administrators group
  kSystem,          // LocalSystem
  kOther,           // anyone else
  kUnknown,         // the owner could not be read
};

// What the claim knows of the run and the volume.
struct ClaimSetting {
  bool elevated;    // the stub runs with the Administrators group enabled
  bool keeps_acls;  // the volume keeps access lists (FILE_PERSISTENT_ACLS)
};

// What to do with what is found.
enum class PathAction {
  kCreate,        // create the folder with the stub's protection and hold it
  kRemoveLink,    // remove the link itself, never its target
  kRemoveFile,    // delete the file
  kRemoveFolder,  // empty the folder (links inside removed as links), remove it
  kKeep,          // hold it if its protection allows (WorkFolderOps::hold)
};

// True when a folder with this owner may be kept. Unelevated: the current
// user and SYSTEM (which every user of the machine trusts already).
// Elevated: Administrators and SYSTEM only; a folder the user owns could be
// changed by the user's unelevated programs.
bool IsAcceptableOwner(OwnerKind owner, bool elevated);

// True when an existing real folder may be kept: on a volume without access
// lists always; otherwise with an acceptable owner and, elevated, only when
// it already carries exactly the elevated protection.
bool MayKeepFolder(OwnerKind owner, bool has_elevated_protection, const ClaimSetting& setting);

// The action for what was found at the working folder's name. A folder is
// kept (kKeep) when its owner allows it; whether its protection does is
// checked through the held handle (WorkFolderOps::hold).
PathAction DecideWorkFolderAction(PathKind kind, OwnerKind owner, const ClaimSetting& setting);

// True when `dacl` and `sacl` are exactly the elevated protection: two
// entries allowing full control, inherited by files and folders, to SYSTEM
// and to Administrators (in either order), and a High mandatory label with
// no-write-up, inherited likewise. Null lists are not.
bool HasElevatedProtection(const ACL* dacl, const ACL* sacl);

// The platform calls of a claim. `folder` is the working folder without its
// trailing backslash; every call gets `context` as its first argument (the
// real calls have none, a test passes its scripted file system).
struct WorkFolderOps {
  // Looks at the name without following a link; for a folder also sets
  // `*owner`.
  PathKind (*inspect)(void* context, const wchar_t* folder, OwnerKind* owner);
  // Creates the folder with the protection of `setting` and returns it held
  // (no delete sharing); INVALID_HANDLE_VALUE when it cannot, for instance
  // because the name exists by now.
  HANDLE (*create)(void* context, const wchar_t* folder, const ClaimSetting& setting);
  // Opens the existing folder held, checks through that handle that it is a
  // real folder that may be kept (MayKeepFolder) and, unelevated on a volume
  // with access lists, gives it the stub's access list. INVALID_HANDLE_VALUE
  // when it may not be kept.
  HANDLE (*hold)(void* context, const wchar_t* folder, const ClaimSetting& setting);
  // Removes a link itself (RemoveDirectoryW for a link to a folder,
  // DeleteFileW otherwise).
  bool (*remove_link)(void* context, const wchar_t* folder);
  // DeleteFileW.
  bool (*remove_file)(void* context, const wchar_t* folder);
  // EmptyFolder, then RemoveDirectoryW; `leftover` (kLeftoverPathSize units,
  // empty on entry) receives the path of the first entry that stays.
  bool (*remove_folder)(void* context, const wchar_t* folder, wchar_t* leftover);
  // The stub runs with the Administrators group enabled in its token.
  bool (*elevated)(void* context);
  // The volume that holds `folder` keeps access lists.
  bool (*keeps_acls)(void* context, const wchar_t* folder);
  void* context;
};

// The real calls.
const WorkFolderOps& PlatformWorkFolderOps();

// Claims `work_folder` (with its trailing backslash): repeats inspecting and
// acting until a folder is held, a bounded number of times, since someone
// may plant something again between two steps. Returns the held folder (its
// handle stays open until the process ends); INVALID_HANDLE_VALUE when
// something in its place could not be removed or the folder could not be
// made, and nothing may be written then; `leftover` (kLeftoverPathSize
// units, empty on entry) then names what stayed when that is known.
HANDLE ClaimWorkFolder(const wchar_t* work_folder, const WorkFolderOps& ops, wchar_t* leftover);

}  // namespace sfx
