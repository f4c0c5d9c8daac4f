// A configuration file with given bytes for the configuration tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "support/files.h"

namespace sfx::test {

// A file in the temporary folder holding exactly the given bytes; removed
// when the object goes out of scope.
class TempConfigFile {
 public:
  explicit TempConfigFile(const std::string& bytes) : path_(UniqueTempPath("sfx-cfg")) {
    path_ += ".cfg";
    Write(bytes);
  }
  ~TempConfigFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempConfigFile(const TempConfigFile&) = delete;
  TempConfigFile& operator=(const TempConfigFile&) = delete;

  void Write(const std::string& bytes) const { WriteText(path_, bytes); }
  void Append(const std::string& bytes) const {
    std::ofstream out(path_, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace sfx::test
