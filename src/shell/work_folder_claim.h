// ClaimWorkFolder: makes the working folder a real folder of the stub's own
// before anything is written into it.
//
// The folder's name is fixed, so someone else may have put something in its
// place: a junction or symbolic link (which would make the stub empty, fill
// and launch from the link's target), a file, or a folder that another user
// owns and can still write in. The claim looks at the name without following
// links, removes whatever does not belong to the stub (a link as the link
// itself) and creates the folder anew with an access list for the current
// user, SYSTEM and Administrators only. A folder that is kept gets that
// access list too. The decision (DecideWorkFolderAction) is apart from the
// platform calls (WorkFolderOps), so that it can be tested without real
// access lists.
#pragma once

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

// What to do with what is found.
enum class PathAction {
  kCreate,        // create the folder with the stub's access list
  kRemoveLink,    // remove the link itself, never its target
  kRemoveFile,    // delete the file
  kRemoveFolder,  // empty the folder (links inside removed as links), remove it
  kKeep,          // keep it and give it the stub's access list
};

// True when a folder with this owner may be kept: the current user, SYSTEM
// (which every user of the machine trusts already), and Administrators when
// the stub runs elevated (an elevated administrator's folders are owned by
// that group). Everyone else could still change the folder's access list.
bool IsAcceptableOwner(OwnerKind owner, bool elevated);

// The action for what was found at the working folder's name.
PathAction DecideWorkFolderAction(PathKind kind, OwnerKind owner, bool elevated);

// The platform calls of a claim. `folder` is the working folder without its
// trailing backslash.
struct WorkFolderOps {
  // Looks at the name without following a link; for a folder also sets
  // `*owner`.
  PathKind (*inspect)(const wchar_t* folder, OwnerKind* owner);
  // CreateDirectoryW with the stub's access list.
  bool (*create)(const wchar_t* folder);
  // Gives an existing folder the stub's access list; false when it cannot.
  bool (*secure)(const wchar_t* folder);
  // Removes a link itself (RemoveDirectoryW for a link to a folder,
  // DeleteFileW otherwise).
  bool (*remove_link)(const wchar_t* folder);
  // DeleteFileW.
  bool (*remove_file)(const wchar_t* folder);
  // EmptyFolder, then RemoveDirectoryW.
  bool (*remove_folder)(const wchar_t* folder);
  // The stub runs with the Administrators group enabled in its token.
  bool (*elevated)();
};

// The real calls.
const WorkFolderOps& PlatformWorkFolderOps();

// Claims `work_folder` (with its trailing backslash): repeats inspecting and
// acting until a folder is kept, a bounded number of times, since someone
// may plant something again between two steps. True when the folder exists,
// is a real folder with an acceptable owner and carries the stub's access
// list; false when something in its place could not be removed or the
// folder could not be made, and nothing may be written then.
bool ClaimWorkFolder(const wchar_t* work_folder, const WorkFolderOps& ops);

}  // namespace sfx
