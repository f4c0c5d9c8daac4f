// The update decision taken on the first Setup.cfg that the worker writes.
#pragma once

#include "update/update_check.h"

namespace sfx {

// `setup_cfg_path` is the full path of the Setup.cfg just written (the work
// folder followed by the entry's name). Returns true when the installed
// product qualifies for this update, false when extraction is to stop right
// after the setup program's own file. Runs DecideUpdateWith on a fresh
// UpdateCheck of its own.
bool DecideUpdate(const char* setup_cfg_path);

// The decision on the given record, which it fills: the parsed
// configuration, the locator's names and the located product folder.
bool DecideUpdateWith(UpdateCheck& check, const char* setup_cfg_path);

}  // namespace sfx
