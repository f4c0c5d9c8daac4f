// Hostile-payload benchmark: writes the three payload shapes of the
// security review (see tests/support/hostile_payloads.h) as payload block
// files and runs an sfxpack's list, extract and dump-image on each, with
// their output thrown away, printing CPU time, wall time and peak memory
// next to the image size U. The readers should stay within U + 64 MiB and
// take time in proportion to U, whatever the entry count.
//
//   hostile_bench SFXPACK [DIR]
//
// SFXPACK is the program to measure (an older build for comparison, too);
// the files go to DIR (default: a new folder under /tmp), which is kept.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/hostile_payloads.h"

namespace {

namespace fs = std::filesystem;

struct Usage {
  int status = -1;
  double cpu_seconds = 0;
  double wall_seconds = 0;
  long peak_kib = 0;
};

// Runs `args` with stdout and stderr sent to /dev/null; its rusage.
Usage Run(const std::vector<std::string>& args) {
  Usage usage;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    std::FILE* null = std::fopen("/dev/null", "w");
    if (null != nullptr) {
      dup2(fileno(null), 1);
      dup2(fileno(null), 2);
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  struct rusage ru {};
  int status = 0;
  if (pid > 0 && wait4(pid, &status, 0, &ru) == pid) {
    usage.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    usage.cpu_seconds = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                        static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    usage.peak_kib = ru.ru_maxrss;
  }
  usage.wall_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return usage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: hostile_bench SFXPACK [DIR]\n");
    return 2;
  }
  const std::string sfxpack = fs::absolute(argv[1]).string();
  const fs::path dir =
      argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / ("sfx-hostile-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::printf("%-30s %10s %12s  %-10s %4s %9s %9s %10s %12s\n", "shape", "file", "U", "command", "exit", "cpu s",
              "wall s", "peak MiB", "peak - U MiB");
  for (const sfx::test::HostileShape& shape : sfx::test::kHostileShapes) {
    const fs::path file = dir / (std::to_string(shape.entries) + ".bin");
    const sfx::test::Bytes block = sfx::test::RepeatedEntryBlock(shape.entries, 'a', shape.data_size);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    const double image_mib = static_cast<double>(sfx::LoadLE32(block.data() + 4)) / 1048576.0;
    const std::vector<std::vector<std::string>> commands = {
        {sfxpack, "list", file.string()},
        {sfxpack, "extract", file.string(), "-o", (dir / "out").string()},
        {sfxpack, "dump-image", file.string(), "-o", (dir / "image.bin").string()}};
    for (const auto& command : commands) {
      const Usage usage = Run(command);
      const double peak_mib = static_cast<double>(usage.peak_kib) / 1024.0;
      std::printf("%-30s %10zu %12.1f  %-10s %4d %9.2f %9.2f %10.1f %12.1f\n", shape.name, block.size(), image_mib,
                  command[1].c_str(), usage.status, usage.cpu_seconds, usage.wall_seconds, peak_mib,
                  peak_mib - image_mib);
      std::error_code ignored;
      fs::remove_all(dir / "out", ignored);
      fs::remove(dir / "image.bin", ignored);
      std::fflush(stdout);
    }
  }
  return 0;
}
