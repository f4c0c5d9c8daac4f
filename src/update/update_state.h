// Process-wide state of the update check, used on the worker thread only.
//
// The decision parses Setup.cfg into `SetupConfigRecord`, forms the profile
// file name and the two application-path key paths once, and the locator
// fills `ProductFolder`. Everything stays set until the process ends.
#pragma once

#include <cstddef>

#include "config/setup_config.h"

namespace sfx {

inline constexpr std::size_t kUpdatePathSize = 260;

// The setup record of the Setup.cfg that the decision parsed.
extern SetupConfig SetupConfigRecord;

// The located folder of the installed product (no trailing backslash when it
// came from the registry; the profile value unchanged otherwise).
extern char ProductFolder[kUpdatePathSize];

// "Mivor.ini": the profile file consulted on old platforms.
extern char ProductIniFile[kUpdatePathSize];

// The application-path key of the product executable, Windows and NT form.
extern char AppPathsKey[kUpdatePathSize];
extern char AppPathsKeyNT[kUpdatePathSize];

}  // namespace sfx
