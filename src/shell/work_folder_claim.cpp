// The decisions and the claim loop of the working folder (see
// work_folder_claim.h).
//
// One round inspects the name and takes one action. Creating and keeping
// both end with the folder held, checked through the very handle that is
// kept; removals are followed by another inspection. Normal runs take one
// round (the folder is there and may be kept, or is missing and is made) or
// two (replaced); a planted link or a foreign folder takes two or three.
// Five rounds leave room for one more change by someone else; after that
// the claim gives up.
#include "shell/work_folder_claim.h"

#include <cwchar>

#include "payload/worker/stub_run.h"

namespace sfx {
namespace {

constexpr int kClaimRounds = 5;

// The ACE flags of every entry of the elevated protection.
constexpr BYTE kInheritFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// True when `ace` is an access-allowed entry granting exactly full control,
// inherited by files and folders, to the well-known `type`.
bool IsFullControlFor(const ACE_HEADER* ace, WELL_KNOWN_SID_TYPE type) {
  if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE || ace->AceFlags != kInheritFlags) return false;
  const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace);
  return allowed->Mask == FILE_ALL_ACCESS && IsWellKnownSid(const_cast<DWORD*>(&allowed->SidStart), type);
}

// The ACE at `index` of `acl`; null when there is none.
const ACE_HEADER* AceAt(const ACL* acl, DWORD index) {
  void* ace = nullptr;
  if (!GetAce(const_cast<ACL*>(acl), index, &ace)) return nullptr;
  return static_cast<const ACE_HEADER*>(ace);
}

}  // namespace

bool IsAcceptableOwner(OwnerKind owner, bool elevated) {
  switch (owner) {
    case OwnerKind::kSystem:
      return true;
    case OwnerKind::kCurrentUser:
      return !elevated;
    case OwnerKind::kAdministrators:
      return elevated;
    case OwnerKind::kOther:
    case OwnerKind::kUnknown:
      return false;
  }
  return false;
}

bool MayKeepFolder(OwnerKind owner, bool has_elevated_protection, const ClaimSetting& setting) {
  if (!setting.keeps_acls) return true;
  return IsAcceptableOwner(owner, setting.elevated) && (!setting.elevated || has_elevated_protection);
}

PathAction DecideWorkFolderAction(PathKind kind, OwnerKind owner, const ClaimSetting& setting) {
  switch (kind) {
    case PathKind::kMissing:
      return PathAction::kCreate;
    case PathKind::kLink:
      return PathAction::kRemoveLink;
    case PathKind::kFile:
      return PathAction::kRemoveFile;
    case PathKind::kFolder:
      return !setting.keeps_acls || IsAcceptableOwner(owner, setting.elevated) ? PathAction::kKeep
                                                                               : PathAction::kRemoveFolder;
    case PathKind::kUnreadable:
      return PathAction::kRemoveFolder;
  }
  return PathAction::kRemoveFolder;
}

bool HasElevatedProtection(const ACL* dacl, const ACL* sacl) {
  if (dacl == nullptr || sacl == nullptr || dacl->AceCount != 2) return false;
  const ACE_HEADER* first = AceAt(dacl, 0);
  const ACE_HEADER* second = AceAt(dacl, 1);
  if (first == nullptr || second == nullptr) return false;
  const bool entries =
      (IsFullControlFor(first, WinLocalSystemSid) && IsFullControlFor(second, WinBuiltinAdministratorsSid)) ||
      (IsFullControlFor(first, WinBuiltinAdministratorsSid) && IsFullControlFor(second, WinLocalSystemSid));
  if (!entries) return false;
  int labels = 0;
  bool high = false;
  for (DWORD i = 0; i < sacl->AceCount; ++i) {
    const ACE_HEADER* ace = AceAt(sacl, i);
    if (ace == nullptr) return false;
    if (ace->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE) continue;
    ++labels;
    const auto* label = reinterpret_cast<const SYSTEM_MANDATORY_LABEL_ACE*>(ace);
    high = ace->AceFlags == kInheritFlags && label->Mask == SYSTEM_MANDATORY_LABEL_NO_WRITE_UP &&
           IsWellKnownSid(const_cast<DWORD*>(&label->SidStart), WinHighLabelSid);
  }
  return labels == 1 && high;
}

HANDLE ClaimWorkFolder(const wchar_t* work_folder, const WorkFolderOps& ops, wchar_t* leftover) {
  // The folder's own name: the working folder without its trailing
  // backslash. Static: the buffer is as large as the longest path, and the
  // claim runs once, on the main thread.
  static wchar_t folder[kWorkFolderSize];
  std::wcsncpy(folder, work_folder, kWorkFolderSize - 1);
  folder[kWorkFolderSize - 1] = L'\0';
  const std::size_t length = std::wcslen(folder);
  if (length > 0 && folder[length - 1] == L'\\') folder[length - 1] = L'\0';

  const ClaimSetting setting = {ops.elevated(ops.context), ops.keeps_acls(ops.context, folder)};
  for (int round = 0; round < kClaimRounds; ++round) {
    OwnerKind owner = OwnerKind::kUnknown;
    const PathKind kind = ops.inspect(ops.context, folder, &owner);
    HANDLE held = INVALID_HANDLE_VALUE;
    switch (DecideWorkFolderAction(kind, owner, setting)) {
      case PathAction::kKeep:
        held = ops.hold(ops.context, folder, setting);
        // A folder whose protection does not allow keeping it is replaced.
        if (held == INVALID_HANDLE_VALUE && !ops.remove_folder(ops.context, folder, leftover))
          return INVALID_HANDLE_VALUE;
        break;
      case PathAction::kCreate:
        // A failure (someone was quicker) shows in the next inspection.
        held = ops.create(ops.context, folder, setting);
        break;
      case PathAction::kRemoveLink:
        if (!ops.remove_link(ops.context, folder)) return INVALID_HANDLE_VALUE;
        break;
      case PathAction::kRemoveFile:
        if (!ops.remove_file(ops.context, folder)) return INVALID_HANDLE_VALUE;
        break;
      case PathAction::kRemoveFolder:
        if (!ops.remove_folder(ops.context, folder, leftover)) return INVALID_HANDLE_VALUE;
        break;
    }
    if (held != INVALID_HANDLE_VALUE) return held;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace sfx
