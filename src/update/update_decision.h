// The update decision taken on the first Setup.cfg that the worker writes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "update/update_check.h"

namespace sfx {

// `config` holds the `size` bytes of the Setup.cfg entry just written, as
// the worker has them in memory (the file is not read back, so what is
// parsed is what was written). Returns true when the installed product
// qualifies for this update, false when extraction is to stop right after
// the setup program's own file. Runs DecideUpdateWith on a fresh
// UpdateCheck of its own.
bool DecideUpdate(const std::uint8_t* config, std::size_t size);

// The decision on the given record, which it fills: the parsed
// configuration, the locator's names and the located product folder.
bool DecideUpdateWith(UpdateCheck& check, const std::uint8_t* config, std::size_t size);

}  // namespace sfx
