// Relative opens through ntdll (see relative_files.h).
#include "payload/worker/relative_files.h"

#include <winternl.h>

#include <cwchar>

#include "payload/worker/long_path.h"

namespace sfx {
namespace {

// NtCreateFile and RtlNtStatusToDosError, found in ntdll (mapped into every
// process) when first needed rather than imported, so the stub's import
// table keeps to the documented system libraries.
using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                          ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using StatusToErrorCall = ULONG(NTAPI*)(NTSTATUS);

struct NtCalls {
  NtCreateFileCall create_file = nullptr;
  StatusToErrorCall status_to_error = nullptr;
};

const NtCalls& Nt() {
  static const NtCalls calls = [] {
    NtCalls found;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return found;
    // GetProcAddress returns a generic function pointer; the casts restore
    // the real signatures.
    found.create_file =
        reinterpret_cast<NtCreateFileCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
    found.status_to_error =
        reinterpret_cast<StatusToErrorCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    return found;
  }();
  return calls;
}

constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);  // STATUS_OBJECT_NAME_COLLISION
constexpr ULONG kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// A UNICODE_STRING over `length` units at `text` (not copied).
UNICODE_STRING CountedName(const wchar_t* text, std::size_t length) {
  UNICODE_STRING name;
  name.Buffer = const_cast<wchar_t*>(text);
  name.Length = static_cast<USHORT>(length * sizeof(wchar_t));
  name.MaximumLength = name.Length;
  return name;
}

// NtCreateFile of `name` below `parent` (null: `name` is a full NT path).
HANDLE NtOpen(HANDLE parent, UNICODE_STRING* name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
              SECURITY_DESCRIPTOR* security, NTSTATUS* status) {
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, name, OBJ_CASE_INSENSITIVE, parent, security);
  IO_STATUS_BLOCK io;
  HANDLE handle = nullptr;
  const NtCalls& nt = Nt();
  if (nt.create_file == nullptr || nt.status_to_error == nullptr) {
    *status = static_cast<NTSTATUS>(0xC0000002L);  // STATUS_NOT_IMPLEMENTED
    SetLastError(ERROR_PROC_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *status = nt.create_file(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                           disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (!NT_SUCCESS(*status)) {
    SetLastError(nt.status_to_error(*status));
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

// One name of a path being walked: the full path, where the name starts and
// where it ends.
struct PathName {
  const wchar_t* path;
  std::size_t begin;
  std::size_t end;
};

UNICODE_STRING NameOf(const PathName& name) { return CountedName(name.path + name.begin, name.end - name.begin); }

// Refuses an opened item that is not what was asked for.
HANDLE Checked(HANDLE item, const PathName& name, bool want_folder) {
  if (item == INVALID_HANDLE_VALUE || IsRealItem(item, name.path, name.end, want_folder)) return item;
  CloseHandle(item);
  SetLastError(ERROR_CANT_ACCESS_FILE);
  return INVALID_HANDLE_VALUE;
}

// Deletes the plain file `name` below `parent`; false when it is anything
// else or stays.
bool DeletePlainFile(HANDLE parent, const PathName& path_name) {
  UNICODE_STRING name = NameOf(path_name);
  NTSTATUS status;
  HANDLE file = Checked(NtOpen(parent, &name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                               FILE_NON_DIRECTORY_FILE, nullptr, &status),
                        path_name, false);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILE_DISPOSITION_INFO disposition = {TRUE};
  const bool deleted = SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != 0;
  CloseHandle(file);
  return deleted;
}

// The last step of OpenRelative: `how` applied to one name below `parent`.
HANDLE OpenLast(HANDLE parent, const PathName& path_name, RelativeOpen how) {
  // A counted name holds at most 32,767 units; a longer one would be cut.
  if (path_name.end - path_name.begin > 0x7FFF) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  UNICODE_STRING name = NameOf(path_name);
  NTSTATUS status;
  switch (how) {
    case RelativeOpen::kFolder:
      return Checked(NtOpen(parent, &name, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES, kShareReadWrite,
                            FILE_OPEN, FILE_DIRECTORY_FILE, nullptr, &status),
                     path_name, true);
    case RelativeOpen::kCreateFolder:
      // A new folder cannot be a link: FILE_CREATE fails on any existing name.
      return NtOpen(parent, &name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kShareReadWrite, FILE_CREATE,
                    FILE_DIRECTORY_FILE, nullptr, &status);
    case RelativeOpen::kCreateFile: {
      constexpr ACCESS_MASK kAccess = GENERIC_WRITE | FILE_READ_ATTRIBUTES;
      constexpr ULONG kOptions = FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY;
      HANDLE file = NtOpen(parent, &name, kAccess, FILE_SHARE_READ, FILE_CREATE, kOptions, nullptr, &status);
      if (file != INVALID_HANDLE_VALUE || status != kNameCollision) return file;
      // The name exists: an earlier entry of the same name is replaced, a
      // link or folder never is.
      if (!DeletePlainFile(parent, path_name)) return INVALID_HANDLE_VALUE;
      return NtOpen(parent, &name, kAccess, FILE_SHARE_READ, FILE_CREATE, kOptions, nullptr, &status);
    }
    case RelativeOpen::kReadFile:
      return Checked(NtOpen(parent, &name, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN,
                            FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, nullptr, &status),
                     path_name, false);
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool IsRealItem(HANDLE item, const wchar_t* path, std::size_t length, bool want_folder) {
  BY_HANDLE_FILE_INFORMATION by_handle;
  if (!GetFileInformationByHandle(item, &by_handle)) return false;
  // The name's own attributes, asked by its full path (cut to `length`).
  auto* name = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
  if (name == nullptr) return false;
  std::wmemcpy(name, path, length);
  name[length] = L'\0';
  const DWORD by_name = GetFileAttributesW(ExtendedPath(name).get());
  HeapFree(GetProcessHeap(), 0, name);
  if (by_name == INVALID_FILE_ATTRIBUTES) return false;
  if (((by_handle.dwFileAttributes | by_name) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  const bool is_folder = (by_handle.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return is_folder == want_folder;
}

HANDLE OpenRelative(HANDLE root, const wchar_t* path, std::size_t root_length, RelativeOpen how) {
  HANDLE parent = root;
  PathName name = {path, root_length, root_length};
  for (const wchar_t* cut; (cut = std::wcschr(path + name.begin, L'\\')) != nullptr; name.begin = name.end + 1) {
    name.end = static_cast<std::size_t>(cut - path);
    HANDLE folder = OpenLast(parent, name, RelativeOpen::kFolder);
    if (parent != root) CloseHandle(parent);
    if (folder == INVALID_HANDLE_VALUE) return folder;
    parent = folder;
  }
  name.end = name.begin + std::wcslen(path + name.begin);
  HANDLE last = OpenLast(parent, name, how);
  if (parent != root) {
    const DWORD error = GetLastError();
    CloseHandle(parent);
    SetLastError(error);
  }
  return last;
}

HANDLE CreateHeldFolder(const wchar_t* path, SECURITY_DESCRIPTOR* security) {
  // The NT form of a DOS path: "\??\C:\..." or "\??\UNC\server\share\...".
  const bool unc = path[0] == L'\\' && path[1] == L'\\';
  const wchar_t* prefix = unc ? L"\\??\\UNC" : L"\\??\\";
  const wchar_t* rest = unc ? path + 1 : path;
  const std::size_t prefix_length = std::wcslen(prefix);
  const std::size_t rest_length = std::wcslen(rest);
  if (prefix_length + rest_length > 32767) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  auto* nt_path =
      static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (prefix_length + rest_length) * sizeof(wchar_t)));
  if (nt_path == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  std::wmemcpy(nt_path, prefix, prefix_length);
  std::wmemcpy(nt_path + prefix_length, rest, rest_length);
  UNICODE_STRING name = CountedName(nt_path, prefix_length + rest_length);
  NTSTATUS status;
  // Listing, adding files and folders, reading attributes and security;
  // shared for reading and writing but never for deletion, so the folder can
  // be neither renamed nor removed while the handle is open.
  HANDLE folder = NtOpen(nullptr, &name,
                         FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE |
                             FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | READ_CONTROL,
                         kShareReadWrite, FILE_CREATE, FILE_DIRECTORY_FILE, security, &status);
  HeapFree(GetProcessHeap(), 0, nt_path);
  return folder;
}

}  // namespace sfx
