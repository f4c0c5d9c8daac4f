// WriteEntryFile: writes one extracted file, creating missing folders; and
// HoldWrittenFile, which keeps a written file open and unchangeable.
#pragma once

#include <windows.h>

#include <cstdint>

#include "payload/worker/file_ops.h"
#include "payload/worker/progress_tracker.h"
#include "payload/worker/stub_run.h"

namespace sfx {

// Largest amount of data handed to one write call: few calls, since under
// Wine every call is a trip through its file layer.
inline constexpr std::uint32_t kWriteCallSize = 1u << 20;

// Progress step: the tracker is advanced per chunk of at most this many
// written bytes, so the percentages shown run through the same values
// whatever the size of the write calls.
inline constexpr std::uint32_t kWriteChunkSize = 65536;

// Size of the path buffers of the extraction, terminator included: the
// working folder and 511 units of entry name.
inline constexpr std::size_t kTargetPathSize = kWorkFolderSize + 511;

// Writes `size` bytes at `data` to the file `path` (below kTargetPathSize units),
// replacing an existing file. Missing folders are created by climbing from
// the deepest one up until a creation succeeds and then down again, one open
// attempt between each two folder attempts. Every chunk of kWriteChunkSize
// written (and the last, shorter one) advances `tracker`. True on success; false when the file cannot be opened, a write
// fails or writes short (a partly written file then stays).
bool WriteEntryFile(const wchar_t* path, const std::uint8_t* data, std::uint32_t size, ProgressTracker& tracker);

// The same with the given file-system calls.
bool WriteEntryFileWith(const FileOps& ops, const wchar_t* path, const std::uint8_t* data, std::uint32_t size,
                        ProgressTracker& tracker);

// Opens the file just written at `path` for reading, shared for reading only
// (nobody may write, rename or delete it while the handle is open), and
// checks that it holds exactly the `size` bytes at `data`. Returns the open
// handle, or INVALID_HANDLE_VALUE when the file cannot be opened, is a link
// or reads differently. The file is closed and opened again rather than
// kept open from the writing on, because Windows does not start a program
// while a handle with write access to it is open.
HANDLE HoldWrittenFile(const FileOps& ops, const wchar_t* path, const std::uint8_t* data, std::uint32_t size);

}  // namespace sfx
