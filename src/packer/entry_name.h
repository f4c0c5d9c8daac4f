// Rules for the names of payload entries.
//
// An entry name is a relative path in Windows-1252 with backslashes between
// its folders. The stub appends it to its working folder (the temp folder
// plus "Mivor.40\") in a 512-byte buffer and creates the file with the
// Windows file API, so a name must be safe for the stub (no way out of the
// working folder), writable on Windows (no reserved characters or device
// names), and short enough to fit the buffer with a realistic temp folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/entry_names.h"

namespace sfx {

// The stub's path buffer holds 511 characters. A name is refused when it
// would leave less than 100 of them for the working folder. The stub writes
// through the ANSI file calls, which on most Windows systems stop at 259
// characters (MAX_PATH less the terminator), so a warning is given when a
// name leaves less than 60 of those for the working folder (a typical one,
// C:\Users\<name>\AppData\Local\Temp\Mivor.40\, takes 40 to 60).
inline constexpr std::size_t kStubPathLimit = 511;
inline constexpr std::size_t kMaxEntryNameLength = kStubPathLimit - 100;
inline constexpr std::size_t kAnsiPathLimit = 259;
inline constexpr std::size_t kLongEntryNameLength = kAnsiPathLimit - 60;

// Why `name` (Windows-1252) cannot be an entry, or an empty string when it
// can. The reasons cover the stub's own refusal (sfx::IsSafeEntryName) and
// names that Windows cannot create (IsCharacterWindowsRefuses,
// IsDeviceNameComponent).
std::string EntryNameProblem(std::string_view name);

// A warning for a name that is allowed but long enough that the full path
// may pass Windows' 259-character limit for ANSI paths; empty otherwise.
std::string EntryNameWarning(std::string_view name);

// Turns one host file or folder name (UTF-8) into its Windows-1252 form.
// Returns false with a reason when a character does not fit or the name
// holds a backslash (which would read as a folder separator in the image).
bool HostComponentToEntry(std::string_view utf8, std::string* out, std::string* problem);

// Turns a relative host path written with '/' or '\' separators (as in an
// order manifest) into an entry name; false with a reason as above.
bool RelativePathToEntryName(std::string_view utf8_path, std::string* out, std::string* problem);

}  // namespace sfx
