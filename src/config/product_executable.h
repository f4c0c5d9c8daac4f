// The installed product's program. The update check finds it through its
// application-path keys and reads its version information; the Setup.cfg
// linter names it in its messages.
#pragma once

namespace sfx {

inline constexpr char kProductExecutable[] = "mivor.exe";

}  // namespace sfx
