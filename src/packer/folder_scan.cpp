// Recursive folder walk without following links. Problems are collected and
// reported together, so that one run shows everything that needs fixing.
#include "packer/folder_scan.h"

#include <system_error>
#include <vector>

#include "common/entry_names.h"
#include "packer/codepage_1252.h"
#include "packer/entry_name.h"
#include "packer/entry_name_set.h"
#include "packer/folder_listing.h"
#include "packer/host_path.h"
#include "packer/pack_error.h"

namespace sfx {

namespace fs = std::filesystem;

namespace {

// At most this many problems are spelled out in the error message.
constexpr std::size_t kMaxListedProblems = 20;

// Names that are almost never meant to ship, and how many of each the scan
// met (folders count once, with what is below them left unscanned).
struct UnwantedName {
  const char* pattern;
  const char* shown;
  bool folder;
  std::size_t met;
};

struct ScanContext {
  FolderScan result;
  EntryNameSet names;
  std::vector<std::string> problems;
  std::vector<std::string> excludes;
  std::vector<UnwantedName> unwanted = {{".git", ".git/", true, 0},
                                        {"Thumbs.db", "Thumbs.db", false, 0},
                                        {".DS_Store", ".DS_Store", false, 0},
                                        {"desktop.ini", "desktop.ini", false, 0},
                                        {"*.pdb", "*.pdb", false, 0}};
};

// True when an exclude pattern matches the file or folder `name` at the
// relative path `relative` ('/' separated).
bool Excluded(const ScanContext& context, const std::string& name, const std::string& relative) {
  for (const std::string& pattern : context.excludes) {
    const bool by_path = pattern.find('/') != std::string::npos;
    if (GlobMatches(pattern, by_path ? relative : name)) return true;
  }
  return false;
}

void CountUnwanted(ScanContext& context, const std::string& name, bool folder) {
  for (UnwantedName& unwanted : context.unwanted) {
    if (unwanted.folder == folder && GlobMatches(unwanted.pattern, name)) ++unwanted.met;
  }
}

// Walks `folder` whose entry-name prefix is `prefix` ("" at the top, else
// ending in a backslash). Returns the number of files found below it.
std::size_t ScanInto(ScanContext& context, const fs::path& folder, const std::string& prefix,
                     const std::string& relative_prefix) {
  std::vector<FolderItem> items;
  std::string error;
  if (!ListFolder(folder, &items, &error)) {
    context.problems.push_back(QuotedPath(folder) + ": cannot read the folder (" + error + ")");
    return 0;
  }
  std::size_t found = 0;
  const bool empty = items.empty();
  for (const FolderItem& item : items) {
    const fs::path path = folder / item.name;
    const std::string host_name = PathToUtf8(item.name);
    if (Excluded(context, host_name, relative_prefix + host_name)) {
      ++context.result.excluded;
      continue;
    }
    std::string component;
    std::string problem;
    if (!HostComponentToEntry(host_name, &component, &problem)) {
      context.problems.push_back(QuotedPath(path) + ": the name " + problem);
      continue;
    }
    const std::string name = prefix + component;
    if (item.kind == FolderItem::Kind::kLink) {
      context.problems.push_back(QuotedPath(path) + " is a symbolic link; links are not packed");
      continue;
    }
    if (item.kind == FolderItem::Kind::kFolder) {
      CountUnwanted(context, host_name, true);
      found += ScanInto(context, path, name + "\\", relative_prefix + host_name + "/");
      continue;
    }
    if (item.kind != FolderItem::Kind::kFile) {
      context.problems.push_back(QuotedPath(path) + " is not a regular file");
      continue;
    }
    problem = EntryNameProblem(name);
    if (problem.empty()) problem = context.names.Add(name);
    if (!problem.empty()) {
      context.problems.push_back(QuotedPath(path) + ": the name " + problem);
      continue;
    }
    std::string warning = EntryNameWarning(name);
    if (!warning.empty()) context.result.warnings.push_back(QuotedPath(path) + ": the name " + warning);
    CountUnwanted(context, host_name, false);
    context.result.files.push_back({path, name, item.size});
    ++found;
  }
  if (empty && !prefix.empty()) {
    context.result.warnings.push_back(QuotedPath(folder) +
                                      " is an empty folder; an installer holds files only, so it is left out");
  }
  return found;
}

}  // namespace

bool GlobMatches(std::string_view pattern, std::string_view text) {
  // Greedy match with one backtrack point: the last '*' seen.
  std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(text[t]))) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

FolderScan ScanFolder(const fs::path& dir, const std::vector<std::string>& excludes) {
  std::error_code error;
  if (!fs::is_directory(dir, error)) {
    throw PackError(QuotedPath(dir) + " is not a folder" + (error ? " (" + error.message() + ")" : std::string()));
  }
  ScanContext context;
  context.excludes = excludes;
  ScanInto(context, ExtendedLengthPath(dir), "", "");
  for (const UnwantedName& unwanted : context.unwanted) {
    if (unwanted.met == 0) continue;
    context.result.warnings.push_back(std::string("the folder holds ") + unwanted.shown + " (" +
                                      std::to_string(unwanted.met) + (unwanted.met == 1 ? " time" : " times") +
                                      "), which is rarely meant to ship; --exclude '" + unwanted.pattern +
                                      "' leaves it out");
  }
  if (!context.problems.empty()) {
    std::string message = "cannot pack " + QuotedPath(dir) + ":";
    for (std::size_t i = 0; i < context.problems.size() && i < kMaxListedProblems; ++i) {
      message += "\n  " + context.problems[i];
    }
    if (context.problems.size() > kMaxListedProblems) {
      message += "\n  ... and " + std::to_string(context.problems.size() - kMaxListedProblems) + " more";
    }
    throw PackError(message);
  }
  return std::move(context.result);
}

}  // namespace sfx
