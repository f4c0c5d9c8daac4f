// SelfExecutablePath on Linux: the /proc/self/exe link. Other POSIX systems
// have no such link; there the path stays empty and sfxpack finds no default
// stub (--stub still works).
#include "self_path.h"

#include <system_error>

namespace sfxpack {

std::filesystem::path SelfExecutablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return path;
}

}  // namespace sfxpack
