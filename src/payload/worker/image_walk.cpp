// Directory walk of the extraction worker (see image_walk.h).
//
// Each entry, in directory order (ImageDirectoryCursor): its name and data
// are checked (IsSafeEntryName, then data_end, the image's end and the CRC),
// the name goes into the target path, and the file is written.
// Only then are the two name tests made (whole relative name, ASCII case
// ignored): Setup.exe written while stop_after_setup is set ends the walk
// early; the first Setup.cfg goes to the update decision, whose negative
// verdict sets stop_after_setup. So files of earlier entries always exist
// when a later entry fails.
#include "payload/worker/image_walk.h"

#include <cstring>

#include "payload/data_overlap.h"
#include "payload/image_directory_cursor.h"
#include "payload/worker/write_entry_file.h"

namespace sfx {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  }
  return *a == *b;
}

// Puts the entry's name (already checked by the cursor) after the working
// folder; false when the path would not fit its buffer.
bool PlaceEntryName(char* target_path, std::size_t name_position, const char* name) {
  const std::size_t name_length = std::strlen(name);
  if (name_position + name_length > kTargetPathSize - 1) return false;
  std::memcpy(target_path + name_position, name, name_length + 1);
  return true;
}

}  // namespace

bool IsSetupProgramName(const char* name) { return EqualsIgnoringAsciiCase(name, "setup.exe"); }

bool IsSetupConfigName(const char* name) { return EqualsIgnoringAsciiCase(name, "Setup.cfg"); }

WalkResult WalkImage(const PayloadImageView& view, char* target_path, std::size_t name_position,
                     ProgressTracker& tracker, UpdateDecision decide_update, const FileOps& ops) {
  // Entries sharing data bytes make the image corrupt before anything is written.
  if (FindDataOverlap(view).result != DataOverlap::Result::kNone) return WalkResult::kCorrupt;
  bool stop_after_setup = false;
  bool config_seen = false;
  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  while (cursor.Next(entry)) {
    if (cursor.CheckEntry(entry) != ImageStatus::kOk) return WalkResult::kCorrupt;
    if (!PlaceEntryName(target_path, name_position, entry.name)) return WalkResult::kCorrupt;
    if (!WriteEntryFileWith(ops, target_path, cursor.EntryData(entry), entry.data_size, tracker)) {
      return WalkResult::kWriteFailed;
    }
    if (IsSetupProgramName(entry.name) && stop_after_setup) return WalkResult::kEarlyFinish;
    if (IsSetupConfigName(entry.name) && !config_seen) {
      config_seen = true;
      if (!decide_update(target_path)) stop_after_setup = true;
    }
  }
  return cursor.status() == ImageStatus::kOk ? WalkResult::kSuccess : WalkResult::kCorrupt;
}

}  // namespace sfx
