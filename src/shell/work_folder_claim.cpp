// The decision and the claim loop of the working folder (see
// work_folder_claim.h).
//
// One round inspects the name and takes one action. Each action that
// changes something (create, remove) is followed by another inspection, so
// the folder that is kept is always one that the last inspection saw as a
// real folder with an acceptable owner. Normal runs take one round (the
// folder is there and ours) or two (create, then keep); a planted link or a
// foreign folder takes three. Five rounds leave room for one more change by
// someone else; after that the claim gives up.
#include "shell/work_folder_claim.h"

#include <cwchar>

#include "payload/worker/stub_run.h"

namespace sfx {
namespace {

constexpr int kClaimRounds = 5;

}  // namespace

bool IsAcceptableOwner(OwnerKind owner, bool elevated) {
  switch (owner) {
    case OwnerKind::kCurrentUser:
    case OwnerKind::kSystem:
      return true;
    case OwnerKind::kAdministrators:
      return elevated;
    case OwnerKind::kOther:
    case OwnerKind::kUnknown:
      return false;
  }
  return false;
}

PathAction DecideWorkFolderAction(PathKind kind, OwnerKind owner, bool elevated) {
  switch (kind) {
    case PathKind::kMissing:
      return PathAction::kCreate;
    case PathKind::kLink:
      return PathAction::kRemoveLink;
    case PathKind::kFile:
      return PathAction::kRemoveFile;
    case PathKind::kFolder:
      return IsAcceptableOwner(owner, elevated) ? PathAction::kKeep : PathAction::kRemoveFolder;
    case PathKind::kUnreadable:
      return PathAction::kRemoveFolder;
  }
  return PathAction::kRemoveFolder;
}

bool ClaimWorkFolder(const wchar_t* work_folder, const WorkFolderOps& ops) {
  // The folder's own name: the working folder without its trailing backslash.
  wchar_t folder[kWorkFolderSize];
  std::wcsncpy(folder, work_folder, kWorkFolderSize - 1);
  folder[kWorkFolderSize - 1] = L'\0';
  const std::size_t length = std::wcslen(folder);
  if (length > 0 && folder[length - 1] == L'\\') folder[length - 1] = L'\0';

  const bool elevated = ops.elevated();
  for (int round = 0; round < kClaimRounds; ++round) {
    OwnerKind owner = OwnerKind::kUnknown;
    const PathKind kind = ops.inspect(folder, &owner);
    switch (DecideWorkFolderAction(kind, owner, elevated)) {
      case PathAction::kKeep:
        // A folder whose access list cannot be set is not the stub's own.
        if (ops.secure(folder)) return true;
        if (!ops.remove_folder(folder)) return false;
        break;
      case PathAction::kCreate:
        // A failure (someone was quicker) shows in the next inspection.
        ops.create(folder);
        break;
      case PathAction::kRemoveLink:
        if (!ops.remove_link(folder)) return false;
        break;
      case PathAction::kRemoveFile:
        if (!ops.remove_file(folder)) return false;
        break;
      case PathAction::kRemoveFolder:
        if (!ops.remove_folder(folder)) return false;
        break;
    }
  }
  return false;
}

}  // namespace sfx
