// Helpers shared by the sfxpack command tests: they run the real program the
// way a vendor does, with its arguments quoted on one command line and its
// stdout and stderr redirected to files in a scratch folder, and read the
// files back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sfx_cli_test {

namespace fs = std::filesystem;

/// What one run of sfxpack produced.
struct ToolRun {
  int exit_code;
  std::string out;
  std::string err;
};

// Wraps `s` in double quotes for the shell's command line.
std::string Quote(const std::string& s);

// The whole content of `path`, or "" when it cannot be read.
std::string ReadFile(const fs::path& path);

// Replaces the content of `path` with `bytes`.
void WriteFile(const fs::path& path, const std::string& bytes);
void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes);

// Runs sfxpack (SFXPACK_PATH of the test program) with `args`, each quoted,
// and collects its exit code and output; the output files go to `work_dir`.
ToolRun RunSfxpack(const std::string& program, const std::vector<std::string>& args, const fs::path& work_dir);

/// A test with its own scratch folder, removed afterwards, and a runner for sfxpack.
class SfxpackTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `bytes` to `name` in the scratch folder and returns its path.
  fs::path File(const std::string& name, const std::string& bytes) const;
  fs::path File(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

  // Runs sfxpack with its output files in the scratch folder.
  ToolRun Sfxpack(const std::vector<std::string>& args) const { return RunSfxpack(SFXPACK_PATH, args, dir_); }

  fs::path dir_;
};

}  // namespace sfx_cli_test
