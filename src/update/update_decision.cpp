#include "update/update_decision.h"

namespace sfx {

// Until the installed-product check is in place every product qualifies, so
// extraction always runs to the end.
bool DecideUpdate(const char* /*setup_cfg_path*/) { return true; }

}  // namespace sfx
