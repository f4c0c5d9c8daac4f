// The platform calls of ClaimWorkFolder (see work_folder_claim.h).
//
// The protection the stub gives its folder, inherited by every file and
// folder made inside and protected from the parent's inheritable entries:
// unelevated, full control for the token's user, SYSTEM and Administrators;
// elevated, full control for SYSTEM and Administrators only, Administrators
// as the owner and a High mandatory label with no-write-up. Names are looked
// at without following links: by name (GetFileAttributesW, which reports a
// link's own attributes) and through a handle opened with
// FILE_FLAG_OPEN_REPARSE_POINT; either showing a link makes it a link.
#include <windows.h>

#include <aclapi.h>

#include <cwchar>

#include "payload/worker/long_path.h"
#include "payload/worker/relative_files.h"
#include "payload/worker/stub_run.h"
#include "shell/empty_folder.h"
#include "shell/work_folder_claim.h"

namespace sfx {
namespace {

// The user SID of the process token, read once (on the main thread, before
// the worker exists); null when it cannot be read.
PSID CurrentUserSid() {
  // TOKEN_USER followed by room for the SID it points into.
  static union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } token_user;
  static bool read = false;
  static bool ok = false;
  if (!read) {
    read = true;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      DWORD size = 0;
      ok = GetTokenInformation(token, TokenUser, &token_user, sizeof(token_user), &size) != 0;
      CloseHandle(token);
    }
  }
  return ok ? token_user.user.User.Sid : nullptr;
}

// One well-known SID in a buffer of SECURITY_MAX_SID_SIZE bytes.
bool MakeWellKnownSid(WELL_KNOWN_SID_TYPE type, BYTE* sid) {
  DWORD size = SECURITY_MAX_SID_SIZE;
  return CreateWellKnownSid(type, nullptr, sid, &size) != 0;
}

// The stub's protection for a run (see the top of this file).
struct FolderProtection {
  union {
    ACL acl;
    BYTE bytes[sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
  } dacl;
  union {
    ACL acl;
    BYTE bytes[sizeof(ACL) + sizeof(SYSTEM_MANDATORY_LABEL_ACE) + SECURITY_MAX_SID_SIZE];
  } sacl;
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  BYTE system[SECURITY_MAX_SID_SIZE];
  BYTE high_label[SECURITY_MAX_SID_SIZE];
  SECURITY_DESCRIPTOR descriptor;

  bool Build(bool elevated) {
    if (!MakeWellKnownSid(WinLocalSystemSid, system) ||
        !MakeWellKnownSid(WinBuiltinAdministratorsSid, administrators) ||
        !InitializeAcl(&dacl.acl, sizeof(dacl), ACL_REVISION)) {
      return false;
    }
    const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    if (!elevated) {
      PSID user = CurrentUserSid();
      if (user == nullptr || !AddAccessAllowedAceEx(&dacl.acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, user)) {
        return false;
      }
    }
    if (!AddAccessAllowedAceEx(&dacl.acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, system) ||
        !AddAccessAllowedAceEx(&dacl.acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, administrators) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, &dacl.acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      return false;
    }
    if (!elevated) return true;
    return MakeWellKnownSid(WinHighLabelSid, high_label) && InitializeAcl(&sacl.acl, sizeof(sacl), ACL_REVISION) &&
           AddMandatoryAce(&sacl.acl, ACL_REVISION, inherit, SYSTEM_MANDATORY_LABEL_NO_WRITE_UP, high_label) &&
           SetSecurityDescriptorSacl(&descriptor, TRUE, &sacl.acl, FALSE) &&
           SetSecurityDescriptorOwner(&descriptor, administrators, FALSE);
  }
};

OwnerKind ClassifyOwner(PSID owner) {
  PSID user = CurrentUserSid();
  if (user != nullptr && EqualSid(owner, user)) return OwnerKind::kCurrentUser;
  if (IsWellKnownSid(owner, WinLocalSystemSid)) return OwnerKind::kSystem;
  if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) return OwnerKind::kAdministrators;
  return OwnerKind::kOther;
}

// Opens `folder` itself (never a link's target) with `access`.
HANDLE OpenOwnName(const wchar_t* folder, DWORD access) {
  return CreateFileW(ExtendedPath(folder).get(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The kind of an open name, from its handle's attributes.
PathKind KindOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return PathKind::kUnreadable;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::kLink;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return PathKind::kFile;
  return PathKind::kFolder;
}

PathKind Inspect(void* /*context*/, const wchar_t* folder, OwnerKind* owner) {
  const DWORD attributes = GetFileAttributesW(ExtendedPath(folder).get());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing : PathKind::kUnreadable;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::kLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return PathKind::kFile;
  HANDLE handle = OpenOwnName(folder, READ_CONTROL | FILE_READ_ATTRIBUTES);
  if (handle == INVALID_HANDLE_VALUE) return PathKind::kUnreadable;
  const PathKind kind = KindOfHandle(handle);
  if (kind == PathKind::kFolder) {
    PSID owner_sid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner_sid, nullptr, nullptr, nullptr,
                        &descriptor) == ERROR_SUCCESS &&
        owner_sid != nullptr) {
      *owner = ClassifyOwner(owner_sid);
    }
    if (descriptor != nullptr) LocalFree(descriptor);
  }
  CloseHandle(handle);
  return kind;
}

HANDLE Create(void* /*context*/, const wchar_t* folder, const ClaimSetting& setting) {
  if (!setting.keeps_acls) return CreateHeldFolder(folder, nullptr);
  FolderProtection protection;
  if (!protection.Build(setting.elevated)) return INVALID_HANDLE_VALUE;
  return CreateHeldFolder(folder, &protection.descriptor);
}

// The owner (and, for the elevated rule, the protection) that the open
// `handle` shows.
OwnerKind OwnerOfHandle(HANDLE handle, bool elevated, bool* has_elevated_protection) {
  PSID owner_sid = nullptr;
  PACL dacl = nullptr;
  PACL sacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION;
  if (elevated) wanted |= DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;
  OwnerKind owner = OwnerKind::kUnknown;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, wanted, &owner_sid, nullptr, elevated ? &dacl : nullptr,
                      elevated ? &sacl : nullptr, &descriptor) == ERROR_SUCCESS &&
      owner_sid != nullptr) {
    owner = ClassifyOwner(owner_sid);
    *has_elevated_protection = elevated && HasElevatedProtection(dacl, sacl);
  }
  if (descriptor != nullptr) LocalFree(descriptor);
  return owner;
}

HANDLE Hold(void* /*context*/, const wchar_t* folder, const ClaimSetting& setting) {
  const bool secure = setting.keeps_acls && !setting.elevated;
  // No delete sharing: from here on the folder can be neither renamed nor
  // removed. The access is what the stub needs inside it.
  HANDLE held = CreateFileW(ExtendedPath(folder).get(),
                            FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE |
                                FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | READ_CONTROL | (secure ? WRITE_DAC : 0),
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (held == INVALID_HANDLE_VALUE) return held;
  const DWORD by_name = GetFileAttributesW(ExtendedPath(folder).get());
  bool keep = KindOfHandle(held) == PathKind::kFolder && by_name != INVALID_FILE_ATTRIBUTES &&
              (by_name & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  if (keep && setting.keeps_acls) {
    bool has_elevated_protection = false;
    const OwnerKind owner = OwnerOfHandle(held, setting.elevated, &has_elevated_protection);
    keep = MayKeepFolder(owner, has_elevated_protection, setting);
  }
  if (keep && secure) {
    FolderProtection protection;
    keep = protection.Build(false) &&
           SetSecurityInfo(held, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                           nullptr, nullptr, &protection.dacl.acl, nullptr) == ERROR_SUCCESS;
  }
  if (keep) return held;
  CloseHandle(held);
  return INVALID_HANDLE_VALUE;
}

bool RemoveLink(void* /*context*/, const wchar_t* folder) {
  const DWORD attributes = GetFileAttributesW(ExtendedPath(folder).get());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // RemoveDirectoryW on a junction or folder link removes the link only.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return RemoveDirectoryW(ExtendedPath(folder).get()) != 0;
  return DeleteFileW(ExtendedPath(folder).get()) != 0;
}

bool RemoveFile(void* /*context*/, const wchar_t* folder) { return DeleteFileW(ExtendedPath(folder).get()) != 0; }

bool RemoveFolder(void* /*context*/, const wchar_t* folder, wchar_t* leftover) {
  return EmptyFolder(folder, leftover) && RemoveDirectoryW(ExtendedPath(folder).get()) != 0;
}

bool Elevated(void* /*context*/) {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  BOOL member = FALSE;
  // CheckTokenMembership counts only groups enabled in the token: an
  // administrator's unelevated token has the group for deny checks only.
  return MakeWellKnownSid(WinBuiltinAdministratorsSid, administrators) &&
         CheckTokenMembership(nullptr, administrators, &member) && member;
}

bool KeepsAcls(void* /*context*/, const wchar_t* folder) {
  // Asked through the temp folder that holds the working folder (which
  // need not exist yet). Unknown volumes count as keeping access lists, so
  // the owner and access-list rules apply to them.
  static wchar_t parent[kWorkFolderSize];
  std::wcsncpy(parent, folder, kWorkFolderSize - 1);
  parent[kWorkFolderSize - 1] = L'\0';
  wchar_t* cut = std::wcsrchr(parent, L'\\');
  if (cut == nullptr) return true;
  cut[1] = L'\0';  // the backslash stays: "C:\" names the root folder
  HANDLE handle = CreateFileW(ExtendedPath(parent).get(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return true;
  DWORD flags = 0;
  const bool known = GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) != 0;
  CloseHandle(handle);
  return !known || (flags & FILE_PERSISTENT_ACLS) != 0;
}

const WorkFolderOps kPlatformWorkFolderOps = {Inspect,      Create,   Hold,      RemoveLink, RemoveFile,
                                              RemoveFolder, Elevated, KeepsAcls, nullptr};

}  // namespace

const WorkFolderOps& PlatformWorkFolderOps() { return kPlatformWorkFolderOps; }

}  // namespace sfx
