// Replays fuzz inputs through a target's LLVMFuzzerTestOneInput without the
// fuzzing engine, so that the normal builds (and their sanitizers) run the
// committed corpora and regression inputs as plain tests.
//
// Usage: fuzz_replay_<target> [--min-files N] [--timeout S] [--rss-limit-mb M] PATH...
// Each PATH is a file or a folder whose regular files are replayed in name
// order; a missing folder counts as empty. Exit code 1 when fewer than N
// files were replayed (a corpus that went missing must not pass silently);
// a fault in the target aborts the process.
//
// The budgets of the fuzzers hold here too, so that a decompression or
// entry-count bomb among the inputs is a failure: on POSIX systems, an input
// that runs longer than S seconds (default 30) ends the run, and one after
// which the process's peak resident size exceeds M MiB (default 2048) is
// named and fails it. Windows builds have the ctest timeout only.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(__unix__)
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesOf(const fs::path& path) {
  std::vector<fs::path> files;
  std::error_code error;
  if (fs::is_regular_file(path, error)) {
    files.push_back(path);
  } else if (fs::is_directory(path, error)) {
    for (const auto& item : fs::directory_iterator(path, error)) {
      if (item.is_regular_file(error)) files.push_back(item.path());
    }
    std::sort(files.begin(), files.end());
  }
  return files;
}

#if defined(__unix__)
// The input being replayed, for the alarm handler (which may only call
// async-signal-safe functions).
std::string g_current;

void OverTime(int) {
  static const char kText[] = "fuzz budget exceeded: this input runs over its time budget: ";
  (void)!write(2, kText, sizeof(kText) - 1);
  (void)!write(2, g_current.data(), g_current.size());
  (void)!write(2, "\n", 1);
  _exit(1);
}

long PeakResidentMiB() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;  // KiB on Linux
}
#endif

struct Budget {
  unsigned seconds = 30;
  long rss_mib = 2048;
};

bool Replay(const fs::path& file, const Budget& budget) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An exact-size heap copy, so that a read past the input's end is caught
  // by the address sanitizer just as under the fuzzer.
  auto* copy = static_cast<std::uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
  if (copy == nullptr) return false;
  std::copy(bytes.begin(), bytes.end(), copy);
#if defined(__unix__)
  g_current = file.string();
  alarm(budget.seconds);
#endif
  LLVMFuzzerTestOneInput(copy, bytes.size());
#if defined(__unix__)
  alarm(0);
  if (PeakResidentMiB() > budget.rss_mib) {
    std::fprintf(stderr, "fuzz budget exceeded: peak resident size %ld MiB (budget %ld MiB) after %s\n",
                 PeakResidentMiB(), budget.rss_mib, g_current.c_str());
    std::exit(1);
  }
#else
  (void)budget;
#endif
  std::free(copy);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t min_files = 0;
  std::size_t replayed = 0;
  Budget budget;
#if defined(__unix__)
  signal(SIGALRM, OverTime);
#endif
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--min-files" && i + 1 < argc) {
      min_files = std::strtoul(argv[++i], nullptr, 10);
      continue;
    }
    if (arg == "--timeout" && i + 1 < argc) {
      budget.seconds = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
      continue;
    }
    if (arg == "--rss-limit-mb" && i + 1 < argc) {
      budget.rss_mib = std::strtol(argv[++i], nullptr, 10);
      continue;
    }
    for (const fs::path& file : FilesOf(fs::path(arg))) {
      if (!Replay(file, budget)) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return 1;
      }
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  if (replayed < min_files) {
    std::fprintf(stderr, "expected at least %zu inputs\n", min_files);
    return 1;
  }
  return 0;
}
