// UTF-8 text <-> host paths, and paths as messages show them.
// std::filesystem keeps native strings (UTF-16 on Windows, bytes on Linux);
// going through char8_t strings gives the same UTF-8 on both.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sfx {

inline std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline std::filesystem::path Utf8ToPath(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The path in UTF-8 between double quotes, as messages name files.
inline std::string QuotedPath(const std::filesystem::path& path) { return "\"" + PathToUtf8(path) + "\""; }

}  // namespace sfx
