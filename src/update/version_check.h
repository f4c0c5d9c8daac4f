// Whether the located product may take this update: the file version of its
// executable against the range of Setup.cfg, its product name and, when asked
// for, the presence of the language file with version information.
#pragma once

namespace sfx {

// True when the product in ProductFolder qualifies under SetupConfigRecord
// (always true with MP3_INSTALL); false on any failure.
bool CheckInstalledVersion();

}  // namespace sfx
