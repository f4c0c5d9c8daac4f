// The directory walk of an accepted image: every entry is checked, written
// under the working folder and advances the progress; the first Setup.cfg is
// handed to the update decision, which may end the walk right after
// Setup.exe.
#pragma once

#include <cstddef>

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

// The update decision: true when the installed product qualifies.
using UpdateDecision = bool (*)(const char* setup_cfg_path);

// Walks the directory of `view`, whose header rules already passed.
// `target_path` (512 bytes) holds the working folder; entry names are put at
// `name_position`, its terminator. Names that fail IsSafeEntryName or that
// would make the path longer than 511 characters are corrupt.
WalkResult WalkImage(const PayloadImageView& view, char* target_path, std::size_t name_position,
                     ProgressTracker& tracker, UpdateDecision decide_update, const FileOps& ops);

// True when `name` is "setup.exe" without regard to ASCII letter case.
bool IsSetupProgramName(const char* name);

// True when `name` is "Setup.cfg" without regard to ASCII letter case.
bool IsSetupConfigName(const char* name);

}  // namespace sfx
