// Writing one extracted file (see write_entry_file.h).
//
// The folder climb: when the open fails, the working copy of the path is cut
// at its last backslash and that folder is created. A failed creation leaves
// the copy cut, so the next failed open cuts one level higher; a successful
// one restores the full path. A folder can be created successfully only once
// (it exists afterwards), and every failure moves the cut towards the root,
// so the climb ends: at the latest when no backslash is left. Files are
// written straight from the image in calls of at most 1 MiB, and progress
// is counted in chunks of at most 64 KiB.
#include "payload/worker/write_entry_file.h"

#include <cstring>
#include <cwchar>

namespace sfx {
namespace {

// Writes the data in calls of at most kWriteCallSize bytes to an open file;
// false on a failed or short write. The tracker advances per progress chunk
// of what each call wrote.
bool WriteChunks(const FileOps& ops, HANDLE file, const std::uint8_t* data, std::uint32_t size,
                 ProgressTracker& tracker) {
  while (size > 0) {
    const DWORD call = size < kWriteCallSize ? size : kWriteCallSize;
    DWORD written = 0;
    if (!ops.write(file, data, call, &written) || written != call) return false;
    for (DWORD done = 0; done < call;) {
      const DWORD chunk = call - done < kWriteChunkSize ? call - done : kWriteChunkSize;
      Advance(tracker, chunk);
      done += chunk;
    }
    data += call;
    size -= call;
  }
  return true;
}

// Size of the buffer that HoldWrittenFile reads the file back through.
constexpr DWORD kReadBackChunkSize = 16384;

// True when the open file holds exactly the `size` bytes at `data`.
bool ReadsBackAs(const FileOps& ops, HANDLE file, const std::uint8_t* data, std::uint32_t size) {
  std::uint8_t chunk[kReadBackChunkSize];
  for (;;) {
    DWORD read = 0;
    if (!ops.read(file, chunk, kReadBackChunkSize, &read)) return false;
    if (read == 0) return size == 0;
    if (read > size || std::memcmp(chunk, data, read) != 0) return false;
    data += read;
    size -= read;
  }
}

}  // namespace

bool WriteEntryFileWith(const FileOps& ops, const wchar_t* path, const std::uint8_t* data, std::uint32_t size,
                        ProgressTracker& tracker) {
  const std::size_t path_length = std::wcslen(path);
  if (path_length >= kTargetPathSize) return false;
  wchar_t working[kTargetPathSize];
  std::wmemcpy(working, path, path_length + 1);

  HANDLE file;
  while ((file = ops.open_for_write(path)) == INVALID_HANDLE_VALUE) {
    wchar_t* cut = std::wcsrchr(working, L'\\');
    if (cut == nullptr) return false;
    *cut = L'\0';
    if (ops.create_folder(working)) std::wmemcpy(working, path, path_length + 1);
  }

  const bool written = WriteChunks(ops, file, data, size, tracker);
  ops.close(file);
  return written;
}

bool WriteEntryFile(const wchar_t* path, const std::uint8_t* data, std::uint32_t size, ProgressTracker& tracker) {
  return WriteEntryFileWith(PlatformFileOps(), path, data, size, tracker);
}

HANDLE HoldWrittenFile(const FileOps& ops, const wchar_t* path, const std::uint8_t* data, std::uint32_t size) {
  HANDLE file = ops.open_for_reading(path);
  if (file == INVALID_HANDLE_VALUE) return file;
  if (!ReadsBackAs(ops, file, data, size)) {
    ops.close(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

}  // namespace sfx
