// File helpers of the tests that run on the host's file system: scratch
// folders and files under the temp folder with names that no other test
// (or test program running in parallel) uses, and whole-file reads and
// writes.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace sfx::test {

namespace fs = std::filesystem;

// A fresh path under the temp folder: `stem`, the process id, a time stamp
// and a counter, so that tests and test programs that run at the same time
// never share it (under Wine the clock ticks in milliseconds, so two test
// programs started together could otherwise draw the same name, and one
// would remove the other's folder). It stays short: some tests build paths
// close to Windows' 260-character limit below it.
inline fs::path UniqueTempPath(const std::string& stem) {
  static std::atomic<int> counter{0};
#ifdef _WIN32
  const int process = _getpid();
#else
  const int process = static_cast<int>(getpid());
#endif
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count() % 1000000;
  return fs::temp_directory_path() /
         (stem + "-" + std::to_string(process) + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
}

// A fresh folder under the temp folder, removed with everything in it.
class ScratchDir {
 public:
  // A folder that did not exist before: a name already taken is drawn again.
  ScratchDir() {
    do path_ = UniqueTempPath("sfx-test");
    while (!fs::create_directory(path_));
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// The path named by UTF-8 text, on every host.
inline fs::path U8Path(const char* utf8) { return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8))); }

// Creates (or replaces) the file at `path`, and the folders above it.
inline void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline void WriteText(const fs::path& path, const std::string& text) {
  WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// The file's content; empty when it cannot be read.
inline std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace sfx::test
