// Compression benchmark: our encoder at levels 1..9 next to zlib level 9 and
// zstd level 19 on a corpus of files, with compression and decoding speeds,
// and the encoder's peak working memory on a large synthetic payload.
//
//   sfx_bench [--levels 1,6,9] [--memory-mb 100] [--memory-levels 1,6,9] [--quick] FILE...
//
// --quick skips the reference compressors and all decoding.
//
// Memory is counted by replacing the global allocation functions of this
// program: live bytes are tracked and the peak over one CompressStream call,
// less the input (allocated before) and the returned stream, is the
// encoder's working memory.
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "encode/encoder.h"
#include "encode/stream_encoder.h"
#include "format/scramble_key.h"
#include "unpack/unpack.h"

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

void CountAlloc(std::size_t n) {
  const std::size_t live = g_live.fetch_add(n) + n;
  std::size_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
}

}  // namespace

// Every block carries its size in front so that delete can count it; the
// header is 16 bytes to keep the default new alignment.
void* operator new(std::size_t n) {
  void* p = std::malloc(n + 16);
  if (p == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(p) = n;
  CountAlloc(n);
  return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  char* base = static_cast<char*>(p) - 16;
  g_live.fetch_sub(*reinterpret_cast<std::size_t*>(base));
  std::free(base);
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using Bytes = std::vector<std::uint8_t>;
// Speeds are measured in CPU time of this (single-threaded) process, so that
// other work on a shared machine does not distort them.
struct Clock {
  using time_point = double;
  static double now() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  }
};

struct Corpus {
  std::string name;
  Bytes data;
};

double Seconds(double a, double b) { return b - a; }

// Runs `f` repeatedly until at least `min_seconds` have passed; returns
// seconds per run.
template <typename F>
double TimePerRun(F&& f, double min_seconds = 0.3) {
  int runs = 0;
  const auto start = Clock::now();
  double elapsed = 0;
  do {
    f();
    ++runs;
    elapsed = Seconds(start, Clock::now());
  } while (elapsed < min_seconds);
  return elapsed / runs;
}

Bytes ZlibCompress(const Bytes& in) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  Bytes out(size);
  compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), 9);
  out.resize(size);
  return out;
}

Bytes ZstdCompress(const Bytes& in) {
  Bytes out(ZSTD_compressBound(in.size()));
  const std::size_t size = ZSTD_compress(out.data(), out.size(), in.data(), in.size(), 19);
  out.resize(ZSTD_isError(size) ? 0 : size);
  return out;
}

Bytes Encode(const Bytes& in, int level) {
  sfx::EncodeOptions options;
  options.level = level;
  return sfx::CompressStream(in.data(), in.size(), options);
}

bool Decode(const Bytes& scrambled, Bytes& out) {
  sfx::UnpackStatePtr state = sfx::NewUnpackState();
  return state && sfx::UnpackPayload(*state, scrambled.data(), scrambled.data() + scrambled.size(), out.data(),
                                     out.data() + out.size());
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
  if (name.size() > 22) name = name.substr(0, 22);
  return name;
}

// A payload of `mb` MiB made of the corpus files, repeated with a little
// variation so that it is not one long exact repeat.
Bytes SyntheticPayload(const std::vector<Corpus>& corpus, std::size_t mb) {
  Bytes out;
  out.reserve(mb << 20);
  std::mt19937 rng(1);
  while (out.size() < (mb << 20)) {
    for (const Corpus& c : corpus) {
      const std::size_t start = out.size();
      out.insert(out.end(), c.data.begin(), c.data.end());
      for (std::size_t i = start; i < out.size(); i += 4096 + rng() % 4096) out[i] = static_cast<std::uint8_t>(rng());
      if (out.size() >= (mb << 20)) break;
    }
    if (corpus.empty()) break;
  }
  out.resize(std::min(out.size(), mb << 20));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  // Line-buffered so that a long run shows its rows as they finish.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::vector<int> levels = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::vector<int> memory_levels = {1, 6, 9};
  std::size_t memory_mb = 100;
  std::vector<Corpus> corpus;
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      quick = true;
    } else if (arg == "--levels" && i + 1 < argc) {
      levels = ParseList(argv[++i]);
    } else if (arg == "--memory-levels" && i + 1 < argc) {
      memory_levels = ParseList(argv[++i]);
    } else if (arg == "--memory-mb" && i + 1 < argc) {
      memory_mb = static_cast<std::size_t>(std::atol(argv[++i]));
    } else {
      std::ifstream f(arg, std::ios::binary);
      if (!f) {
        std::fprintf(stderr, "cannot read %s\n", arg.c_str());
        return 1;
      }
      corpus.push_back({ShortName(arg), Bytes(std::istreambuf_iterator<char>(f), {})});
    }
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "usage: sfx_bench [--levels 1,6,9] [--memory-mb N] [--memory-levels 1,6,9] FILE...\n");
    return 2;
  }

  const std::size_t nl = levels.size();
  std::vector<std::size_t> total_packed(nl, 0);
  std::vector<double> total_seconds(nl, 0);
  std::size_t total_in = 0, total_zlib = 0, total_zstd = 0;
  double dec_ours = 0, dec_zlib = 0, dec_zstd = 0;
  bool all_ok = true;
  // Per file and level: stream size and CPU seconds, for the per-kind tables.
  std::vector<std::vector<std::size_t>> file_packed;
  std::vector<std::vector<double>> file_seconds;
  std::vector<std::size_t> file_zlib;

  std::printf("Compressed size / original (lower is better)\n");
  std::printf("%-22s %10s", "file", "bytes");
  for (int l : levels) std::printf("   L%d  ", l);
  std::printf("  zlib9  zstd19  L9/zlib9\n");
  for (const Corpus& c : corpus) {
    const double n = static_cast<double>(c.data.size());
    std::printf("%-22s %10zu", c.name.c_str(), c.data.size());
    std::size_t best_packed = 0;
    Bytes best_stream;
    file_packed.emplace_back(nl, 0);
    file_seconds.emplace_back(nl, 0.0);
    for (std::size_t k = 0; k < nl; ++k) {
      Bytes stream;
      const auto t0 = Clock::now();
      stream = Encode(c.data, levels[k]);
      const double secs = Seconds(t0, Clock::now());
      total_seconds[k] += secs;
      total_packed[k] += stream.size();
      file_packed.back()[k] = stream.size();
      file_seconds.back()[k] = secs;
      std::printf(" %6.4f", stream.size() / n);
      if (levels[k] == levels.back()) {
        best_packed = stream.size();
        best_stream = stream;
      }
    }
    if (quick) {
      total_in += c.data.size();
      file_zlib.push_back(0);
      std::printf("\n");
      continue;
    }
    const Bytes z = ZlibCompress(c.data);
    const Bytes zs = ZstdCompress(c.data);
    total_zlib += z.size();
    total_zstd += zs.size();
    file_zlib.push_back(z.size());
    total_in += c.data.size();
    std::printf("  %6.4f  %6.4f  %6.3f\n", z.size() / n, zs.size() / n,
                static_cast<double>(best_packed) / static_cast<double>(z.size()));

    // Decoding: the highest level's stream, scrambled as stored.
    sfx::ScrambleStream(best_stream.data(), best_stream.size(), sfx::kPayloadSeed);
    Bytes out(c.data.size());
    dec_ours += TimePerRun([&] { Decode(best_stream, out); });
    if (out != c.data) {
      all_ok = false;
      std::printf("  !! round trip failed for %s\n", c.name.c_str());
    }
    dec_zlib += TimePerRun([&] {
      uLongf size = static_cast<uLongf>(out.size());
      uncompress(out.data(), &size, z.data(), static_cast<uLong>(z.size()));
    });
    dec_zstd += TimePerRun([&] { ZSTD_decompress(out.data(), out.size(), zs.data(), zs.size()); });
  }
  const double tin = static_cast<double>(total_in);
  std::printf("%-22s %10zu", "TOTAL", total_in);
  for (std::size_t k = 0; k < nl; ++k) std::printf(" %6.4f", total_packed[k] / tin);
  std::printf("  %6.4f  %6.4f  %6.3f\n\n", total_zlib / tin, total_zstd / tin,
              static_cast<double>(total_packed[nl - 1]) / static_cast<double>(total_zlib));

  std::printf("Per file: compression speed (MB/s, CPU time) and size / zlib 9 size, by level\n");
  std::printf("%-22s", "file");
  for (int l : levels) std::printf("  L%d MB/s  /zlib9", l);
  std::printf("\n");
  for (std::size_t f = 0; f < corpus.size(); ++f) {
    const double n = static_cast<double>(corpus[f].data.size());
    std::printf("%-22s", corpus[f].name.c_str());
    for (std::size_t k = 0; k < nl; ++k) {
      const double zl = static_cast<double>(file_zlib[f]);
      std::printf("  %7.2f  %6.3f", n / 1e6 / std::max(file_seconds[f][k], 1e-9),
                  zl > 0 ? file_packed[f][k] / zl : 0.0);
    }
    std::printf("\n");
  }
  std::printf("%-22s", "TOTAL");
  for (std::size_t k = 0; k < nl; ++k) {
    const double zl = static_cast<double>(total_zlib);
    std::printf("  %7.2f  %6.3f", tin / 1e6 / total_seconds[k], zl > 0 ? total_packed[k] / zl : 0.0);
  }
  std::printf("\n\n");

  std::printf("Compression speed (MB/s of input in CPU time, whole corpus)\n");
  for (std::size_t k = 0; k < nl; ++k)
    std::printf("  level %d: %8.2f MB/s  (%zu bytes)\n", levels[k], tin / 1e6 / total_seconds[k], total_packed[k]);
  std::printf("\nDecoding speed (MB/s of output in CPU time, whole corpus)\n");
  std::printf("  ours (level %d streams): %8.2f\n  zlib inflate:          %8.2f\n  zstd:                  %8.2f\n\n",
              levels.back(), tin / 1e6 / dec_ours, tin / 1e6 / dec_zlib, tin / 1e6 / dec_zstd);

  if (memory_mb > 0) {
    const Bytes payload = SyntheticPayload(corpus, memory_mb);
    std::printf("Encoder working memory on a %zu MiB synthetic payload (peak live allocation less input and output)\n",
                memory_mb);
    for (int level : memory_levels) {
      const std::size_t base = g_live.load();
      g_peak.store(base);
      sfx::EncodeOptions options;
      options.level = level;
      const auto t0 = Clock::now();
      const Bytes stream = sfx::CompressStream(payload.data(), payload.size(), options);
      const double secs = Seconds(t0, Clock::now());
      const std::size_t working = g_peak.load() - base - stream.size();
      std::printf("  level %d: %7.1f MiB working, stream %zu bytes (%.4f), %.1f MB/s\n", level, working / 1048576.0,
                  stream.size(), static_cast<double>(stream.size()) / static_cast<double>(payload.size()),
                  payload.size() / 1e6 / secs);
    }
  }
  return all_ok ? 0 : 1;
}
