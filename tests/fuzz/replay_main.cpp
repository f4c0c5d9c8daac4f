// Replays fuzz inputs through a target's LLVMFuzzerTestOneInput without the
// fuzzing engine, so that the normal builds (and their sanitizers) run the
// committed corpora and regression inputs as plain tests.
//
// Usage: fuzz_replay_<target> [--min-files N] PATH...
// Each PATH is a file or a folder whose regular files are replayed in name
// order; a missing folder counts as empty. Exit code 1 when fewer than N
// files were replayed (a corpus that went missing must not pass silently);
// a fault in the target aborts the process.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

bool Replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An exact-size heap copy, so that a read past the input's end is caught
  // by the address sanitizer just as under the fuzzer.
  auto* copy = static_cast<std::uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
  if (copy == nullptr) return false;
  std::copy(bytes.begin(), bytes.end(), copy);
  LLVMFuzzerTestOneInput(copy, bytes.size());
  std::free(copy);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t min_files = 0;
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--min-files" && i + 1 < argc) {
      min_files = std::strtoul(argv[++i], nullptr, 10);
      continue;
    }
    for (const fs::path& file : FilesOf(fs::path(arg))) {
      if (!Replay(file)) {
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
