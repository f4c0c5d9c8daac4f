// The "\\?\" form of long paths (see long_path.h).
#include "payload/worker/long_path.h"

#include <windows.h>

#include <cwchar>

namespace sfx {

ExtendedPath::ExtendedPath(const wchar_t* path) : path_(path) {
  const std::size_t length = std::wcslen(path);
  if (length < kShortPathLimit || std::wcsncmp(path, L"\\\\?\\", 4) == 0) return;
  const bool unc = path[0] == L'\\' && path[1] == L'\\';
  const bool drive = path[0] != L'\0' && path[1] == L':' && path[2] == L'\\';
  if (!unc && !drive) return;
  const wchar_t* prefix = unc ? L"\\\\?\\UNC" : L"\\\\?\\";
  const wchar_t* rest = unc ? path + 1 : path;  // "\\server" keeps one backslash after "UNC"
  const std::size_t prefix_length = std::wcslen(prefix);
  const std::size_t rest_length = std::wcslen(rest);
  extended_ =
      static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (prefix_length + rest_length + 1) * sizeof(wchar_t)));
  if (extended_ == nullptr) return;
  std::wmemcpy(extended_, prefix, prefix_length);
  std::wmemcpy(extended_ + prefix_length, rest, rest_length + 1);
}

ExtendedPath::~ExtendedPath() {
  if (extended_ != nullptr) HeapFree(GetProcessHeap(), 0, extended_);
}

}  // namespace sfx
