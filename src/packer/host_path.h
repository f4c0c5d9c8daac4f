// UTF-8 text <-> host paths, and paths as messages show them.
// std::filesystem keeps native strings (UTF-16 on Windows, bytes on Linux);
// going through char8_t strings gives the same UTF-8 on both.
#pragma once

#include <cstdio>
#include <cstring>
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

// Opens the file at `path` with the C library, `mode` as for fopen; on
// Windows through the wide-character call, so that any name can be opened.
// Null with errno set when it fails.
inline std::FILE* OpenHostFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  const std::wstring wide_mode(mode, mode + std::strlen(mode));
  return _wfopen(path.c_str(), wide_mode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

// The path in the form that reaches past Windows' 260-character limit: on
// Windows an absolute, normalised path with the \\?\ prefix (\\?\UNC\ for a
// network path), which the wide file calls take at any length; elsewhere
// the path as it is.
inline std::filesystem::path ExtendedLengthPath(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::wstring text = std::filesystem::absolute(path).lexically_normal().make_preferred().wstring();
  if (text.rfind(L"\\\\?\\", 0) == 0) return std::filesystem::path(text);
  if (text.rfind(L"\\\\", 0) == 0) return std::filesystem::path(L"\\\\?\\UNC\\" + text.substr(2));
  return std::filesystem::path(L"\\\\?\\" + text);
#else
  return path;
#endif
}

// A path for messages: without the \\?\ prefix of ExtendedLengthPath.
inline std::string ShownPath(const std::filesystem::path& path) {
  std::string text = PathToUtf8(path);
  if (text.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + text.substr(8);
  if (text.rfind("\\\\?\\", 0) == 0) return text.substr(4);
  return text;
}

// The path in UTF-8 between double quotes, as messages name files.
inline std::string QuotedPath(const std::filesystem::path& path) { return "\"" + ShownPath(path) + "\""; }

}  // namespace sfx
