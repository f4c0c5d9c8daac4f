// Writing one extracted file (see write_entry_file.h).
//
// The folder climb: when the open fails, the working copy of the path is cut
// at its last backslash and that folder is created. A failed creation leaves
// the copy cut, so the next failed open cuts one level higher; a successful
// one restores the full path. A folder can be created successfully only once
// (it exists afterwards), and every failure moves the cut towards the root,
// so the climb ends: at the latest when no backslash is left. Files are
// written straight from the image in chunks of at most 64 KiB.
#include "payload/worker/write_entry_file.h"

#include <cstring>

namespace sfx {
namespace {

// Writes the data in chunks to an open file; false on a failed or short write.
bool WriteChunks(const FileOps& ops, HANDLE file, const std::uint8_t* data, std::uint32_t size,
                 ProgressTracker& tracker) {
  while (size > 0) {
    const DWORD chunk = size < kWriteChunkSize ? size : kWriteChunkSize;
    DWORD written = 0;
    if (!ops.write(file, data, chunk, &written) || written != chunk) return false;
    Advance(tracker, written);
    data += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace

bool WriteEntryFileWith(const FileOps& ops, const char* path, const std::uint8_t* data, std::uint32_t size,
                        ProgressTracker& tracker) {
  const std::size_t path_length = std::strlen(path);
  if (path_length >= kTargetPathSize) return false;
  char working[kTargetPathSize];
  std::memcpy(working, path, path_length + 1);

  HANDLE file;
  while ((file = ops.open_for_write(path)) == INVALID_HANDLE_VALUE) {
    char* cut = std::strrchr(working, '\\');
    if (cut == nullptr) return false;
    *cut = '\0';
    if (ops.create_folder(working)) std::memcpy(working, path, path_length + 1);
  }

  const bool written = WriteChunks(ops, file, data, size, tracker);
  ops.close(file);
  return written;
}

bool WriteEntryFile(const char* path, const std::uint8_t* data, std::uint32_t size, ProgressTracker& tracker) {
  return WriteEntryFileWith(PlatformFileOps(), path, data, size, tracker);
}

}  // namespace sfx
