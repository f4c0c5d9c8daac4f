// Composition of the working folder (see work_folder.h).
#include "shell/work_folder.h"

#include <cstring>

#include "payload/worker/stub_run.h"

namespace sfx {
namespace {

// Length of `folder` once the sub-folder (and a backslash, if needed) is added.
std::size_t ComposedLength(const char* folder, std::size_t length) {
  const bool has_backslash = length > 0 && folder[length - 1] == '\\';
  return length + (has_backslash ? 0 : 1) + (sizeof(kWorkSubfolder) - 1);
}

}  // namespace

void SelectTempFolder(char* folder, DWORD buffer_size, DWORD temp_result) {
  // On success GetTempPathA returns the length without the terminator, which
  // is below the buffer size; a result of at least the buffer size is the
  // size it would have needed, and the buffer holds nothing usable then.
  bool usable = temp_result != 0 && temp_result < buffer_size;
  if (usable) {
    const std::size_t length = std::strlen(folder);
    usable = length == temp_result && ComposedLength(folder, length) < buffer_size;
  }
  if (!usable) std::memcpy(folder, kFallbackTempFolder, sizeof(kFallbackTempFolder));
}

void AppendWorkSubfolder(char* folder) {
  std::size_t length = std::strlen(folder);
  if (length == 0 || folder[length - 1] != '\\') folder[length++] = '\\';
  std::memcpy(folder + length, kWorkSubfolder, sizeof(kWorkSubfolder));
}

void BuildWorkFolder(char* folder) {
  const DWORD result = GetTempPathA(kWorkFolderSize, folder);
  SelectTempFolder(folder, kWorkFolderSize, result);
  // The temp folder normally exists; creating it only matters when it does
  // not, and a failure shows up later as a write error of the first file.
  CreateDirectoryA(folder, nullptr);
  AppendWorkSubfolder(folder);
}

}  // namespace sfx
