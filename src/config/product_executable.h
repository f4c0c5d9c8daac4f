// The installed product's program and its language file. The update check
// finds the program through its application-path keys and reads its version
// information, and with CHECK_LANGUAGE that of the language file in the same
// folder; the Setup.cfg linter names both in its messages.
#pragma once

namespace sfx {

inline constexpr char kProductExecutable[] = "mivor.exe";
inline constexpr char kProductLanguageFile[] = "mivorjpn.nls";

}  // namespace sfx
