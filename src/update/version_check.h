// Whether the located product may take this update: the file version of its
// executable against the range of Setup.cfg, its product name and, when asked
// for, the presence of the language file with version information.
#pragma once

#include "update/update_check.h"

namespace sfx {

// True when the product in check.product_folder qualifies under
// check.config (always true with MP3_INSTALL); false on any failure.
bool CheckInstalledVersion(const UpdateCheck& check);

}  // namespace sfx
