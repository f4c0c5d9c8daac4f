// Runs sfxpack as a vendor does, for the sfxpack command tests: its
// arguments quoted on one command line and its stdout and stderr redirected
// to files in a scratch folder, which are read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"

namespace sfx::test {

// What one run of sfxpack produced.
struct ToolRun {
  int exit_code;
  std::string out;
  std::string err;
};

// Wraps `s` in double quotes for the shell's command line.
std::string Quote(const std::string& s);

// Runs sfxpack (`program`) with `args`, each quoted, and collects its exit
// code and output; the output files go to `work_dir`.
ToolRun RunSfxpack(const std::string& program, const std::vector<std::string>& args, const fs::path& work_dir);

// A test with its own scratch folder, removed afterwards, and a runner for
// sfxpack (SFXPACK_PATH of the test program).
class SfxpackTest : public ::testing::Test {
 protected:
  // Writes `bytes` to `name` in the scratch folder and returns its path.
  fs::path File(const std::string& name, const std::string& bytes) const;
  fs::path File(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

  // Runs sfxpack with its output files in the scratch folder.
  ToolRun Sfxpack(const std::vector<std::string>& args) const { return RunSfxpack(SFXPACK_PATH, args, dir_); }

  ScratchDir scratch_;
  const fs::path dir_ = scratch_.path();
};

}  // namespace sfx::test
