// WriteEntryFile: writes one extracted file, creating missing folders.
#pragma once

#include <cstdint>

#include "payload/worker/file_ops.h"
#include "payload/worker/progress_tracker.h"

namespace sfx {

// Largest amount of data handed to one write call.
inline constexpr std::uint32_t kWriteChunkSize = 65536;

// Size of the path buffers of the extraction, terminator included.
inline constexpr std::size_t kTargetPathSize = 512;

// Writes `size` bytes at `data` to the file `path` (at most 511 characters),
// replacing an existing file. Missing folders are created by climbing from
// the deepest one up until a creation succeeds and then down again, one open
// attempt between each two folder attempts. Every chunk written advances
// `tracker`. True on success; false when the file cannot be opened, a write
// fails or writes short (a partly written file then stays).
bool WriteEntryFile(const char* path, const std::uint8_t* data, std::uint32_t size, ProgressTracker& tracker);

// The same with the given file-system calls.
bool WriteEntryFileWith(const FileOps& ops, const char* path, const std::uint8_t* data, std::uint32_t size,
                        ProgressTracker& tracker);

}  // namespace sfx
