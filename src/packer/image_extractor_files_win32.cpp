// Folders and files of an extraction on Windows (see
// image_extractor_files.h). Compiled only for Windows; the rest of the
// packer stays free of <windows.h>.
//
// Each folder below the target is examined before it is entered: a reparse
// point (a symbolic link or a junction) or anything but a folder stops the
// extraction. The file is created with CREATE_NEW, which never opens what
// exists; to replace, the old name is deleted first (a link is deleted as
// itself, a hard-linked file keeps its content under its other names). Paths
// reach past 260 characters: the root comes in the \\?\ form.
#include <windows.h>

#include <system_error>

#include "packer/entry_name_text.h"
#include "packer/host_path.h"
#include "packer/image_extractor_files.h"
#include "packer/pack_error.h"

namespace sfx {

namespace fs = std::filesystem;

namespace {

// Closes a handle when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The system's text for the last error.
std::string Reason() {
  const DWORD code = GetLastError();
  std::string text = std::system_category().message(static_cast<int>(code));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return " (" + text + ")";
}

void EnterFolder(const fs::path& folder) {
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      throw PackError("cannot create the folder " + PrintableQuotedPath(folder) + Reason());
    }
    attributes = GetFileAttributesW(folder.c_str());
  }
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    throw PackError("cannot open the folder " + PrintableQuotedPath(folder) + Reason());
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    throw PackError(PrintableQuotedPath(folder) + " is a symbolic link or junction; not following it");
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    throw PackError(PrintableQuotedPath(folder) + " exists and is not a folder");
}

HANDLE CreateNew(const fs::path& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

void WriteFileBelow(const fs::path& root, const std::vector<std::string>& parts, const std::uint8_t* data,
                    std::uint32_t size, bool replace) {
  fs::path path = root;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    path /= Utf8ToPath(parts[i]);
    EnterFolder(path);
  }
  path /= Utf8ToPath(parts.back());
  HANDLE created = CreateNew(path);
  if (created == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      throw PackError(PrintableQuotedPath(path) + " exists and is a folder");
    }
    if (!replace) throw PackError(PrintableQuotedPath(path) + " already exists; not replacing it");
    if (!DeleteFileW(path.c_str()))
      throw PackError("cannot remove the existing " + PrintableQuotedPath(path) + Reason());
    created = CreateNew(path);
  }
  Handle file(created);
  if (file.get() == INVALID_HANDLE_VALUE) throw PackError("cannot create " + PrintableQuotedPath(path) + Reason());
  while (size != 0) {
    const DWORD chunk = size < 0x100000u ? size : 0x100000u;
    DWORD written = 0;
    if (!WriteFile(file.get(), data, chunk, &written, nullptr) || written != chunk) {
      throw PackError("cannot write " + PrintableQuotedPath(path) + Reason());
    }
    data += chunk;
    size -= chunk;
  }
}

}  // namespace sfx
