// ExtendedPath: a path in the form that the wide file calls take at any
// length.
//
// Below kShortPathLimit units a path is used as it is, so normal paths keep
// their form everywhere. From there on the "\\?\" form is used ("\\?\UNC\"
// for a \\server\share path), which lifts the MAX_PATH limit. The stub's
// paths are absolute, with backslashes and without "." or ".." components
// (the temp path is made full, entry names are checked), which the "\\?\"
// form requires.
#pragma once

#include <cstddef>

namespace sfx {

// Paths from this length on take the "\\?\" form: MAX_PATH less the 12
// units that CreateDirectoryW keeps free for an 8.3 name.
inline constexpr std::size_t kShortPathLimit = 248;

class ExtendedPath {
 public:
  explicit ExtendedPath(const wchar_t* path);
  ~ExtendedPath();
  ExtendedPath(const ExtendedPath&) = delete;
  ExtendedPath& operator=(const ExtendedPath&) = delete;

  // The path for the file call. When memory for the long form runs out,
  // the path as given: the call then fails as it would have anyway.
  const wchar_t* get() const { return extended_ != nullptr ? extended_ : path_; }

 private:
  const wchar_t* path_;
  wchar_t* extended_ = nullptr;
};

}  // namespace sfx
