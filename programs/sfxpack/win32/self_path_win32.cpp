// SelfExecutablePath on Windows: GetModuleFileNameW of the program's own
// module. Kept in its own folder so that the portable sources of sfxpack
// never see <windows.h> (scripts/check-includes).
#include <windows.h>

#include <string>

#include "self_path.h"

namespace sfxpack {

std::filesystem::path SelfExecutablePath() {
  // GetModuleFileNameW truncates silently and returns the buffer size when
  // the buffer is too small; grow it until the name fits (32768 wide
  // characters is the longest path Windows has).
  std::wstring buffer(MAX_PATH, L'\0');
  while (buffer.size() <= 32768) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return std::filesystem::path(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
  return {};
}

}  // namespace sfxpack
