// UpdateCheck: the state of one update decision, used on the worker thread
// only.
//
// DecideUpdate makes one record for the check: the parser fills config from
// Setup.cfg, the decision forms the profile file name and the two
// application-path key paths, the locator fills product_folder and the
// version check reads it. The record ends with the check.
#pragma once

#include <cstddef>

#include "config/setup_config.h"

namespace sfx {

// Size of each name buffer of the check, terminator included.
inline constexpr std::size_t kUpdatePathSize = 260;

// The record of one update check.
struct UpdateCheck {
  // The setup record of the Setup.cfg that the decision parsed.
  SetupConfig config;
  // The located folder of the installed product (no trailing backslash when
  // it came from the registry; the profile value unchanged otherwise).
  char product_folder[kUpdatePathSize] = {};
  // "Mivor.ini": the profile file consulted on old platforms.
  char product_ini_file[kUpdatePathSize] = {};
  // The application-path key of the product executable, Windows and NT form.
  char app_paths_key[kUpdatePathSize] = {};
  char app_paths_key_nt[kUpdatePathSize] = {};
};

}  // namespace sfx
