// Helpers of the configuration tests: temporary files with given bytes.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace sfx::test {

// A file in the temporary folder holding exactly the given bytes; removed
// when the object goes out of scope.
class TempConfigFile {
 public:
  explicit TempConfigFile(const std::string& bytes) {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string stem = "h3cfg";
    if (info != nullptr) stem += std::string("_") + info->test_suite_name() + "_" + info->name();
    for (char& c : stem) {
      if (c == '/') c = '_';
    }
    path_ = std::filesystem::temp_directory_path() / (stem + "_" + std::to_string(counter++) + ".cfg");
    Write(bytes);
  }
  ~TempConfigFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempConfigFile(const TempConfigFile&) = delete;
  TempConfigFile& operator=(const TempConfigFile&) = delete;

  void Write(const std::string& bytes) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  void Append(const std::string& bytes) const {
    std::ofstream out(path_, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace sfx::test
