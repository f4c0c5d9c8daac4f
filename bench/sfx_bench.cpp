// Compression benchmark: one table per run with, for every file and for the
// whole corpus, the compressed size, the encode time and the decode time of
// our encoder at levels 1, 6 and 9 next to gzip -9, zstd -19 and xz -9
// (one thread), all measured in the same run.
//
//   sfx_bench [--levels 1,6,9] [--threads N] [--no-peers] FILE...
//
// Ours: CompressStream and UnpackImage (the decoder the stub and sfxpack
// use) in this process (levels 7 to 9 use --threads, by default every
// core). Peers: the command-line programs,
// one whole process per file, reading the file and writing a file (encode)
// or /dev/null (decode), so their times include process start and file
// input/output. Encode time is given both as wall-clock seconds and as CPU
// seconds of all threads (user + system; on a shared machine the CPU time
// is the steadier number, the wall time shows what threads gain); decode
// time is CPU seconds, the fastest of three runs. Each encode runs once.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "encode/encoder.h"
#include "format/scramble_key.h"
#include "unpack/unpack.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kDecodeRuns = 3;

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; }

// User + system CPU seconds of this process (all threads) or of its
// waited-for children.
double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

// Size and times of one coder on one file.
struct Result {
  std::size_t size = 0;
  double encode_wall = 0;
  double encode_cpu = 0;
  double decode_cpu = 0;
  bool ok = true;
};

// One coder column: ours at a level, or a peer program.
struct Coder {
  std::string name;
  int level = 0;                        // ours: the level; 0 for a peer
  std::vector<std::string> compress;    // peer: argv that compresses stdin to stdout
  std::vector<std::string> decompress;  // peer: argv that decompresses stdin to stdout
};

struct CorpusFile {
  std::string path;
  std::string name;
  Bytes data;
};

// Runs argv with stdin from `in` and stdout to `out`; returns its CPU
// seconds (and wall seconds in `wall`), or a negative number when the
// program cannot be run or fails.
double RunProgram(const std::vector<std::string>& argv, const std::string& in, const std::string& out,
                  double* wall = nullptr) {
  const double start = Now();
  const double cpu_start = CpuSeconds(RUSAGE_CHILDREN);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int fd_in = open(in.c_str(), O_RDONLY);
    const int fd_out = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd_in < 0 || fd_out < 0) _exit(127);
    dup2(fd_in, 0);
    dup2(fd_out, 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  if (wall != nullptr) *wall = Now() - start;
  const double seconds = CpuSeconds(RUSAGE_CHILDREN) - cpu_start;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

std::size_t FileSize(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  return f ? static_cast<std::size_t>(f.tellg()) : 0;
}

Result MeasureOurs(const CorpusFile& file, int level, unsigned threads) {
  Result r;
  sfx::EncodeOptions options;
  options.level = level;
  options.threads = threads;
  const double start = Now();
  const double cpu_start = CpuSeconds(RUSAGE_SELF);
  Bytes stream = sfx::CompressStream(file.data.data(), file.data.size(), options);
  r.encode_wall = Now() - start;
  r.encode_cpu = CpuSeconds(RUSAGE_SELF) - cpu_start;
  r.size = stream.size();
  sfx::ScrambleStream(stream.data(), stream.size(), sfx::kPayloadSeed);
  Bytes out(file.data.size());
  r.decode_cpu = 1e30;
  for (int run = 0; run < kDecodeRuns; ++run) {
    sfx::UnpackStatePtr state = sfx::NewUnpackState();
    const double decode_start = CpuSeconds(RUSAGE_SELF);
    const bool decoded = state && sfx::UnpackImage(*state, stream.data(), stream.data() + stream.size(), out.data(),
                                                   out.data() + out.size());
    r.decode_cpu = std::min(r.decode_cpu, CpuSeconds(RUSAGE_SELF) - decode_start);
    r.ok = r.ok && decoded && out == file.data;
  }
  return r;
}

Result MeasurePeer(const CorpusFile& file, const Coder& coder, const std::string& scratch) {
  Result r;
  r.encode_cpu = RunProgram(coder.compress, file.path, scratch, &r.encode_wall);
  r.size = FileSize(scratch);
  r.decode_cpu = 1e30;
  for (int run = 0; run < kDecodeRuns; ++run) {
    r.decode_cpu = std::min(r.decode_cpu, RunProgram(coder.decompress, scratch, "/dev/null"));
  }
  r.ok = r.encode_cpu >= 0 && r.decode_cpu >= 0;
  return r;
}

std::vector<int> ParseList(const char* text) {
  std::vector<int> v;
  for (const char* p = text; *p != 0;) {
    v.push_back(std::atoi(p));
    while (*p != 0 && *p != ',') ++p;
    if (*p == ',') ++p;
  }
  return v;
}

std::string ShortName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.size() > 16 ? name.substr(0, 16) : name;
}

void PrintRow(const std::string& name, std::size_t bytes, const std::vector<Result>& row) {
  std::printf("%-16s %10zu", name.c_str(), bytes);
  for (const Result& r : row) {
    std::printf(" | %6.2f%% %6.2f %6.2f %5.3f%s",
                100.0 * static_cast<double>(r.size) / static_cast<double>(std::max<std::size_t>(bytes, 1)),
                r.encode_wall, r.encode_cpu, r.decode_cpu, r.ok ? " " : "!");
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::vector<int> levels = {1, 6, 9};
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  bool peers = true;
  std::vector<CorpusFile> corpus;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--levels" && i + 1 < argc) {
      levels = ParseList(argv[++i]);
    } else if (arg == "--threads" && i + 1 < argc) {
      threads = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
    } else if (arg == "--no-peers") {
      peers = false;
    } else {
      std::ifstream f(arg, std::ios::binary);
      if (!f) {
        std::fprintf(stderr, "cannot read %s\n", arg.c_str());
        return 1;
      }
      corpus.push_back({arg, ShortName(arg), Bytes(std::istreambuf_iterator<char>(f), {})});
    }
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "usage: sfx_bench [--levels 1,6,9] [--threads N] [--no-peers] FILE...\n");
    return 2;
  }

  std::vector<Coder> coders;
  for (int level : levels) coders.push_back({"ours L" + std::to_string(level), level, {}, {}});
  if (peers) {
    coders.push_back({"gzip -9", 0, {"gzip", "-9", "-c"}, {"gzip", "-dc"}});
    coders.push_back({"zstd -19", 0, {"zstd", "-19", "-q", "-c"}, {"zstd", "-dqc"}});
    coders.push_back({"xz -9 (1 thread)", 0, {"xz", "-9", "-T1", "-c"}, {"xz", "-dc"}});
  }
  const std::string scratch = "/tmp/sfx_bench." + std::to_string(getpid());

  std::printf(
      "Per coder: size as %% of the original, encode seconds wall and CPU, decode CPU seconds (! = round trip "
      "failed)\n");
  std::printf("ours: in process, level 9 with %u thread(s); peers: whole process, file to file\n", threads);
  std::printf("%-16s %10s", "file", "bytes");
  for (const Coder& c : coders) std::printf(" | %-28s", c.name.c_str());
  std::printf("\n");

  std::vector<Result> total(coders.size());
  std::size_t total_bytes = 0;
  bool all_ok = true;
  for (const CorpusFile& file : corpus) {
    std::vector<Result> row;
    for (const Coder& c : coders) {
      row.push_back(c.level != 0 ? MeasureOurs(file, c.level, threads) : MeasurePeer(file, c, scratch));
    }
    for (std::size_t k = 0; k < row.size(); ++k) {
      total[k].size += row[k].size;
      total[k].encode_wall += row[k].encode_wall;
      total[k].encode_cpu += row[k].encode_cpu;
      total[k].decode_cpu += row[k].decode_cpu;
      total[k].ok = total[k].ok && row[k].ok;
      all_ok = all_ok && row[k].ok;
    }
    total_bytes += file.data.size();
    PrintRow(file.name, file.data.size(), row);
  }
  PrintRow("TOTAL", total_bytes, total);
  std::remove(scratch.c_str());
  return all_ok ? 0 : 1;
}
