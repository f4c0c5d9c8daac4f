// The directory walk of an accepted image: every entry is checked, written
// under the working folder and advances the progress; the first Setup.cfg is
// handed to the update decision, which may end the walk right after
// Setup.exe. Entry names are Windows-1252 bytes; each becomes a UTF-16 name
// for the wide file calls, one unit per byte.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "common/entry_names.h"
#include "payload/payload_format.h"
#include "payload/worker/file_ops.h"
#include "payload/worker/progress_tracker.h"

namespace sfx {

// How a walk ended.
enum class WalkResult {
  kSuccess,      // the directory ended
  kEarlyFinish,  // Setup.exe was written after a negative update decision
  kCorrupt,      // an entry failed its checks (IDS_CORRUPT_PAYLOAD)
  kWriteFailed,  // a file could not be written; target_path names it
};

// The update decision on the bytes of the Setup.cfg entry just written:
// true when the installed product qualifies.
using UpdateDecision = bool (*)(const std::uint8_t* config, std::size_t size);

// Walks the directory of `view`, whose header rules already passed.
// `target_path` (512 units) holds the working folder; entry names are put at
// `name_position`, its terminator. Names that fail IsSafeEntryName or that
// would make the path longer than 511 units are corrupt. After a top-level
// Setup.exe has been written, `*setup_file` holds it open (HoldWrittenFile);
// a second one closes the first before it is written. A Setup.exe that
// cannot be held is a write failure.
WalkResult WalkImage(const PayloadImageView& view, wchar_t* target_path, std::size_t name_position,
                     ProgressTracker& tracker, UpdateDecision decide_update, const FileOps& ops, HANDLE* setup_file);

// Puts the Windows-1252 `name` as UTF-16 at `name_position` of
// `target_path` (kTargetPathSize units); false when it would not fit.
bool PlaceEntryName(wchar_t* target_path, std::size_t name_position, const char* name);

}  // namespace sfx
