// Helpers of the Windows test programs (the stub's in-process tests, the
// update check's tests and the end-to-end tests under Wine): a scratch
// folder per test and small file utilities on top of the ANSI Win32 calls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sfx::test {

// A fresh folder under the temp folder, removed with everything in it
// (read-only attributes cleared first) when the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder's path with a trailing backslash.
  const std::string& path() const { return path_; }
  // path() + relative.
  std::string Join(const std::string& relative) const { return path_ + relative; }
  // Creates the sub-folder `relative` and its parents; returns its path.
  std::string MakeFolder(const std::string& relative) const;

 private:
  std::string path_;
};

// Removes a file or folder tree, clearing read-only attributes on the way.
void RemoveTree(const std::string& path);

// Creates (or replaces) a file with the given bytes.
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& data);
void WriteText(const std::string& path, const std::string& text);

// The file's bytes; empty when it cannot be read.
std::vector<std::uint8_t> ReadBytes(const std::string& path);

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// True when `folder` exists and holds nothing.
bool IsEmptyFolder(const std::string& folder);

// A path in the ANSI code page as UTF-16, for the stub's wide calls, and
// back (the tests' own paths are ASCII).
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);

}  // namespace sfx::test
