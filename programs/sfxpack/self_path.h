// The running program's own file, so that sfxpack can find the stubs
// installed next to it.
#pragma once

#include <filesystem>

namespace sfxpack {

// The absolute path of the running executable; empty when the system does
// not tell. self_path_posix.cpp reads /proc/self/exe (Linux);
// win32/self_path_win32.cpp asks GetModuleFileNameW.
std::filesystem::path SelfExecutablePath();

}  // namespace sfxpack
