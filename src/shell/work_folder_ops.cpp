// The platform calls of ClaimWorkFolder (see work_folder_claim.h).
//
// The access list the stub gives its folder: full control for the token's
// user, SYSTEM and Administrators, inherited by every file and folder made
// inside, protected from the parent's inheritable entries. Names are looked
// at without following links: by name (GetFileAttributesW, which reports a
// link's own attributes) and through a handle opened with
// FILE_FLAG_OPEN_REPARSE_POINT; either showing a link makes it a link.
#include <windows.h>

#include <aclapi.h>

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

// The stub's access list (see the top of this file).
struct FolderAcl {
  union {
    ACL acl;
    BYTE bytes[sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
  } list;
  bool Build() {
    BYTE system[SECURITY_MAX_SID_SIZE];
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    PSID user = CurrentUserSid();
    if (user == nullptr || !MakeWellKnownSid(WinLocalSystemSid, system) ||
        !MakeWellKnownSid(WinBuiltinAdministratorsSid, administrators)) {
      return false;
    }
    const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    return InitializeAcl(&list.acl, sizeof(list), ACL_REVISION) &&
           AddAccessAllowedAceEx(&list.acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, user) &&
           AddAccessAllowedAceEx(&list.acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, system) &&
           AddAccessAllowedAceEx(&list.acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, administrators);
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
  return CreateFileW(folder, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The kind of an open name, from its handle's attributes.
PathKind KindOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return PathKind::kUnreadable;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::kLink;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return PathKind::kFile;
  return PathKind::kFolder;
}

PathKind Inspect(const wchar_t* folder, OwnerKind* owner) {
  const DWORD attributes = GetFileAttributesW(folder);
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

bool Create(const wchar_t* folder) {
  FolderAcl acl;
  if (!acl.Build()) return false;
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, &acl.list.acl, FALSE) ||
      !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
  return CreateDirectoryW(folder, &attributes) != 0;
}

bool Secure(const wchar_t* folder) {
  FolderAcl acl;
  if (!acl.Build()) return false;
  HANDLE handle = OpenOwnName(folder, READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool secured = KindOfHandle(handle) == PathKind::kFolder;
  if (secured) {
    secured = SetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &acl.list.acl, nullptr) == ERROR_SUCCESS;
  }
  CloseHandle(handle);
  return secured;
}

bool RemoveLink(const wchar_t* folder) {
  const DWORD attributes = GetFileAttributesW(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // RemoveDirectoryW on a junction or folder link removes the link only.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return RemoveDirectoryW(folder) != 0;
  return DeleteFileW(folder) != 0;
}

bool RemoveFile(const wchar_t* folder) { return DeleteFileW(folder) != 0; }

bool RemoveFolder(const wchar_t* folder) { return EmptyFolder(folder) && RemoveDirectoryW(folder) != 0; }

bool Elevated() {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  BOOL member = FALSE;
  // CheckTokenMembership counts only groups enabled in the token: an
  // administrator's unelevated token has the group for deny checks only.
  return MakeWellKnownSid(WinBuiltinAdministratorsSid, administrators) &&
         CheckTokenMembership(nullptr, administrators, &member) && member;
}

const WorkFolderOps kPlatformWorkFolderOps = {Inspect, Create, Secure, RemoveLink, RemoveFile, RemoveFolder, Elevated};

}  // namespace

const WorkFolderOps& PlatformWorkFolderOps() { return kPlatformWorkFolderOps; }

}  // namespace sfx
