// Runs sfxpack through the system's command interpreter and reads back what
// it wrote; see sfxpack_runner.h.
#include "cli/sfxpack_runner.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace sfx_cli_test {

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ToolRun RunSfxpack(const std::string& program, const std::vector<std::string>& args, const fs::path& work_dir) {
  std::string command = Quote(program);
  for (const std::string& a : args) command += " " + Quote(a);
  const fs::path out = work_dir / "stdout.txt";
  const fs::path err = work_dir / "stderr.txt";
  command += " > " + Quote(out.string()) + " 2> " + Quote(err.string());
#ifdef _WIN32
  // cmd.exe drops the outermost pair of quotes of the whole line.
  command = "\"" + command + "\"";
#endif
  const int status = std::system(command.c_str());
#ifdef _WIN32
  const int code = status;
#else
  // A program killed by a signal has no exit code; report -1 for it.
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return ToolRun{code, ReadFile(out), ReadFile(err)};
}

void SfxpackTest::SetUp() {
  // Suite and test name together keep the folders of the three command test
  // programs apart when CTest runs them in parallel.
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = fs::temp_directory_path() /
         (std::string("sfxpack-cli-") + info->test_suite_name() + "-" + info->name());
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

void SfxpackTest::TearDown() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

fs::path SfxpackTest::File(const std::string& name, const std::string& bytes) const {
  const fs::path path = dir_ / name;
  WriteFile(path, bytes);
  return path;
}

fs::path SfxpackTest::File(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  const fs::path path = dir_ / name;
  WriteFile(path, bytes);
  return path;
}

}  // namespace sfx_cli_test
