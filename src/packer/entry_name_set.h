// The set of entry names of one payload, checked for clashes.
//
// Windows file names ignore letter case, so two names that differ only in
// case (ASCII or Windows-1252 letters) would land in the same file, and a
// file whose name equals a folder of another entry could not be created.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace sfx {

// Collects entry names and refuses one that clashes with an earlier one.
class EntryNameSet {
 public:
  // Adds `name` (Windows-1252, backslash separators). Returns an empty string
  // on success, otherwise why it clashes (and the name is not added).
  std::string Add(std::string_view name);

 private:
  // Folded name -> name as given, for files and for every folder above one.
  std::map<std::string, std::string> files_;
  std::map<std::string, std::string> folders_;
};

}  // namespace sfx
