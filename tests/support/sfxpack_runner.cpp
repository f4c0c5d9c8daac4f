// Runs sfxpack through the system's command interpreter and reads back what
// it wrote; see sfxpack_runner.h.
#include "support/sfxpack_runner.h"

#include <cstdlib>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace sfx::test {

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

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
  return ToolRun{code, ReadText(out), ReadText(err)};
}

fs::path SfxpackTest::File(const std::string& name, const std::string& bytes) const {
  const fs::path path = dir_ / name;
  WriteText(path, bytes);
  return path;
}

fs::path SfxpackTest::File(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  const fs::path path = dir_ / name;
  WriteBytes(path, bytes);
  return path;
}

}  // namespace sfx::test
