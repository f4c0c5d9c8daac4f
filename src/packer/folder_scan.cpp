// Recursive folder walk without following links. Problems are collected and
// reported together, so that one run shows everything that needs fixing.
#include "packer/folder_scan.h"

#include <system_error>

#include "packer/codepage_1252.h"
#include "packer/entry_name.h"
#include "packer/entry_name_set.h"
#include "packer/host_path.h"
#include "packer/pack_error.h"

namespace sfx {

namespace fs = std::filesystem;

namespace {

// At most this many problems are spelled out in the error message.
constexpr std::size_t kMaxListedProblems = 20;

struct ScanContext {
  FolderScan result;
  EntryNameSet names;
  std::vector<std::string> problems;
};

// Walks `folder` whose entry-name prefix is `prefix` ("" at the top, else
// ending in a backslash). Returns the number of files found below it.
std::size_t ScanInto(ScanContext& context, const fs::path& folder, const std::string& prefix) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) {
    context.problems.push_back(QuotedPath(folder) + ": cannot read the folder (" + error.message() + ")");
    return 0;
  }
  std::size_t found = 0;
  bool empty = true;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    empty = false;
    const fs::directory_entry& entry = *it;
    const fs::path& path = entry.path();
    std::string component;
    std::string problem;
    if (!HostComponentToEntry(PathToUtf8(path.filename()), &component, &problem)) {
      context.problems.push_back(QuotedPath(path) + ": the name " + problem);
      continue;
    }
    const std::string name = prefix + component;
    const fs::file_status status = entry.symlink_status(error);
    if (error) {
      context.problems.push_back(QuotedPath(path) + ": " + error.message());
      continue;
    }
    if (fs::is_symlink(status)) {
      context.problems.push_back(QuotedPath(path) + " is a symbolic link; links are not packed");
      continue;
    }
    if (fs::is_directory(status)) {
      found += ScanInto(context, path, name + "\\");
      continue;
    }
    if (!fs::is_regular_file(status)) {
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
    const std::uint64_t size = entry.file_size(error);
    if (error) {
      context.problems.push_back(QuotedPath(path) + ": " + error.message());
      continue;
    }
    context.result.files.push_back({path, name, size});
    ++found;
  }
  if (error) context.problems.push_back(QuotedPath(folder) + ": cannot read the folder (" + error.message() + ")");
  if (empty && !prefix.empty()) {
    context.result.warnings.push_back(QuotedPath(folder) +
                                      " is an empty folder; an installer holds files only, so it is left out");
  }
  return found;
}

}  // namespace

FolderScan ScanFolder(const fs::path& dir) {
  std::error_code error;
  if (!fs::is_directory(dir, error)) throw PackError(QuotedPath(dir) + " is not a folder");
  ScanContext context;
  ScanInto(context, dir, "");
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
