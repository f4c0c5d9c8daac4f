// Directory walk of the extraction worker (see image_walk.h).
//
// Each entry, in directory order (ImageDirectoryCursor): its name and data
// are checked (IsSafeEntryName, then data_end, the image's end and the CRC),
// the name goes into the target path, and the file is written.
// Only then are the two name tests made (whole relative name, ASCII case
// ignored): Setup.exe written while stop_after_setup is set ends the walk
// early; the first Setup.cfg goes to the update decision, whose negative
// verdict sets stop_after_setup. So files of earlier entries always exist
// when a later entry fails. The update decision reads the Setup.cfg entry's
// bytes in the image, the very bytes just written; a written Setup.exe is
// held open (HoldWrittenFile) until the process ends. Entries may share data
// bytes (a packer may store identical files once): each is checked and
// written on its own.
#include "payload/worker/image_walk.h"

#include <cstring>

#include "format/codepage_1252.h"
#include "payload/image_directory_cursor.h"
#include "payload/worker/write_entry_file.h"

namespace sfx {

bool PlaceEntryName(wchar_t* target_path, std::size_t name_position, const char* name) {
  const std::size_t name_length = std::strlen(name);
  if (name_position + name_length > kTargetPathSize - 1) return false;
  // Every Windows-1252 byte is one code point below U+10000: one unit each.
  for (std::size_t i = 0; i <= name_length; ++i) {
    target_path[name_position + i] = static_cast<wchar_t>(DecodeCp1252Byte(static_cast<unsigned char>(name[i])));
  }
  return true;
}

WalkResult WalkImage(const PayloadImageView& view, wchar_t* target_path, std::size_t name_position,
                     ProgressTracker& tracker, UpdateDecision decide_update, const FileOps& ops, HANDLE* setup_file) {
  bool stop_after_setup = false;
  bool config_seen = false;
  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  while (cursor.Next(entry)) {
    if (cursor.CheckEntry(entry) != ImageStatus::kOk) return WalkResult::kCorrupt;
    if (!PlaceEntryName(target_path, name_position, entry.name)) return WalkResult::kCorrupt;
    const bool is_setup_program = IsSetupProgramName(entry.name);
    // The held Setup.exe shares reading only; a later Setup.exe entry
    // replaces it, so the earlier one is let go first.
    if (is_setup_program && *setup_file != INVALID_HANDLE_VALUE) {
      ops.close(*setup_file);
      *setup_file = INVALID_HANDLE_VALUE;
    }
    const std::uint8_t* data = cursor.EntryData(entry);
    if (!WriteEntryFileWith(ops, target_path, data, entry.data_size, tracker)) return WalkResult::kWriteFailed;
    if (is_setup_program) {
      *setup_file = HoldWrittenFile(ops, target_path, data, entry.data_size);
      if (*setup_file == INVALID_HANDLE_VALUE) return WalkResult::kWriteFailed;
      if (stop_after_setup) return WalkResult::kEarlyFinish;
    }
    if (IsSetupConfigName(entry.name) && !config_seen) {
      config_seen = true;
      if (!decide_update(data, entry.data_size)) stop_after_setup = true;
    }
  }
  return cursor.status() == ImageStatus::kOk ? WalkResult::kSuccess : WalkResult::kCorrupt;
}

}  // namespace sfx
