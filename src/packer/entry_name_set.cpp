// Clash detection on case-folded names: a file clashes with an equal file
// name, with a folder that holds another entry, and each of its own folders
// clashes with an equal file name.
#include "packer/entry_name_set.h"

#include <vector>

#include "packer/codepage_1252.h"

namespace sfx {

namespace {

// Folded paths of the folders above `folded`: "A\B\C" gives "A" and "A\B".
std::vector<std::string> ParentFolders(const std::string& folded) {
  std::vector<std::string> parents;
  for (std::size_t i = 0; i < folded.size(); ++i) {
    if (folded[i] == '\\') parents.push_back(folded.substr(0, i));
  }
  return parents;
}

}  // namespace

std::string EntryNameSet::Add(std::string_view name) {
  const std::string folded = FoldName1252(name);
  if (auto it = files_.find(folded); it != files_.end()) {
    if (it->second == name) return "appears twice";
    return "differs only in letter case from \"" + Cp1252ToUtf8(it->second) + "\"";
  }
  if (auto it = folders_.find(folded); it != folders_.end()) {
    return "is also the folder of \"" + Cp1252ToUtf8(it->second) + "\"";
  }
  const std::vector<std::string> parents = ParentFolders(folded);
  for (const std::string& parent : parents) {
    if (auto it = files_.find(parent); it != files_.end()) {
      return "lies in a folder that is also the file \"" + Cp1252ToUtf8(it->second) + "\"";
    }
  }
  files_.emplace(folded, std::string(name));
  for (const std::string& parent : parents) folders_.emplace(parent, std::string(name));
  return {};
}

}  // namespace sfx
