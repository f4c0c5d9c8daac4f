// Folders and files of an extraction on Windows (see
// image_extractor_files.h). Compiled only for Windows; the rest of the
// packer stays free of <windows.h>.
//
// Each folder below the target is examined before it is entered: a reparse
// point (a symbolic link or a junction) or anything but a folder stops the
// extraction. The file is opened with FILE_FLAG_OPEN_REPARSE_POINT, so a
// link in its place is opened as itself rather than followed, and without
// sharing; the open handle is then examined (reparse point, folder, number
// of hard links) before a byte is written.
#include <windows.h>

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

void EnterFolder(const fs::path& folder) {
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      throw PackError("cannot create the folder " + PrintableQuotedPath(folder));
    }
    attributes = GetFileAttributesW(folder.c_str());
  }
  if (attributes == INVALID_FILE_ATTRIBUTES) throw PackError("cannot open the folder " + PrintableQuotedPath(folder));
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    throw PackError(PrintableQuotedPath(folder) + " is a symbolic link or junction; not following it");
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    throw PackError(PrintableQuotedPath(folder) + " exists and is not a folder");
}

}  // namespace

void WriteFileBelow(const fs::path& root, const std::vector<std::string>& parts, const std::uint8_t* data,
                    std::uint32_t size) {
  fs::path path = root;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    path /= Utf8ToPath(parts[i]);
    EnterFolder(path);
  }
  path /= Utf8ToPath(parts.back());
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) throw PackError("cannot create " + PrintableQuotedPath(path));
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info)) throw PackError("cannot examine " + PrintableQuotedPath(path));
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    throw PackError(PrintableQuotedPath(path) + " is a symbolic link; not writing through it");
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw PackError(PrintableQuotedPath(path) + " exists and is not a file");
  }
  if (info.nNumberOfLinks > 1)
    throw PackError(PrintableQuotedPath(path) + " has other hard links; not writing through it");
  if (!SetEndOfFile(file.get())) throw PackError("cannot truncate " + PrintableQuotedPath(path));
  while (size != 0) {
    const DWORD chunk = size < 0x100000u ? size : 0x100000u;
    DWORD written = 0;
    if (!WriteFile(file.get(), data, chunk, &written, nullptr) || written != chunk) {
      throw PackError("cannot write " + PrintableQuotedPath(path));
    }
    data += chunk;
    size -= chunk;
  }
}

}  // namespace sfx
