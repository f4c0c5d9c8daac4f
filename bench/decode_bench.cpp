// Decoding benchmark: our payload decoder next to zlib inflate, in process,
// per file of a corpus, in CPU time (best of several runs) and MB/s of
// decoded output.
//
//   decode_bench [--level 1..9] [--runs N] [--cache DIR] [--portable] [--bits 32|64] FILE...
//
// --portable runs the multimedia predictor's portable form, the one the
// 32-bit stub falls back to on a processor without SSE2; --bits picks the
// decoding loop's bit buffer (default: 32 on 32-bit processors, else 64).
//
// Each file is compressed once by our encoder at --level (default 9) and by
// zlib at level 9; with --cache the scrambled streams are kept in DIR and
// reused by later runs, since level 9 takes a while. Every decode is checked
// against the file before it is timed.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "encode/encoder.h"
#include "encode/stream_encoder.h"
#include "format/delta_predictor.h"
#include "format/scramble_key.h"
#include "unpack/unpack.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool ReadFile(const std::string& path, Bytes& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Best CPU time of `runs` calls of `decode`.
template <class Decode>
double BestOf(int runs, Decode decode) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const double start = CpuSeconds();
    decode();
    best = std::min(best, CpuSeconds() - start);
  }
  return best;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Our scrambled stream of `data`, from the cache when it holds one.
Bytes OurStream(const Bytes& data, int level, const std::string& cache, const std::string& name) {
  const std::string path = cache.empty() ? "" : cache + "/" + name + ".l" + std::to_string(level) + ".sfxz";
  Bytes stream;
  if (!path.empty() && ReadFile(path, stream) && !stream.empty()) return stream;
  sfx::EncodeOptions options;
  options.level = level;
  stream = sfx::CompressStream(data.data(), data.size(), options);
  sfx::ScrambleStream(stream.data(), stream.size(), sfx::kPayloadSeed);
  if (!path.empty()) WriteFile(path, stream);
  return stream;
}

bool OurDecode(const Bytes& stream, std::uint8_t* out, std::size_t size) {
  sfx::UnpackStatePtr state = sfx::NewUnpackState();
  return state && sfx::UnpackImage(*state, stream.data(), stream.data() + stream.size(), out, out + size);
}

bool ZlibDecode(const Bytes& stream, std::uint8_t* out, std::size_t size) {
  uLongf out_size = static_cast<uLongf>(size);
  return uncompress(out, &out_size, stream.data(), static_cast<uLong>(stream.size())) == Z_OK && out_size == size;
}

double MegabytesPerSecond(std::size_t bytes, double seconds) { return static_cast<double>(bytes) / 1e6 / seconds; }

}  // namespace

int main(int argc, char** argv) {
  int level = 9;
  int runs = 5;
  std::string cache;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--level" && i + 1 < argc) {
      level = std::atoi(argv[++i]);
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--bits" && i + 1 < argc) {
      sfx::UseNarrowBitReader(std::atoi(argv[++i]) == 32);
    } else if (arg == "--portable") {
      sfx::ForcePortablePredictor(true);
    } else if (arg == "--cache" && i + 1 < argc) {
      cache = argv[++i];
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr,
                 "usage: decode_bench [--level 1..9] [--runs N] [--cache DIR] [--portable] [--bits 32|64] FILE...\n");
    return 2;
  }

  std::printf("%-16s %10s %10s %10s %12s %12s %8s\n", "file", "size", "ours", "zlib-9", "ours MB/s", "zlib MB/s",
              "ratio");
  std::size_t total_size = 0;
  double total_ours = 0, total_zlib = 0;
  for (const std::string& path : files) {
    Bytes data;
    if (!ReadFile(path, data)) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 1;
    }
    const std::string name = BaseName(path);
    const Bytes ours = OurStream(data, level, cache, name);
    Bytes zlib(compressBound(static_cast<uLong>(data.size())));
    uLongf zlib_size = static_cast<uLongf>(zlib.size());
    if (compress2(zlib.data(), &zlib_size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) return 1;
    zlib.resize(zlib_size);

    // Uninitialised output, as a decoder that writes all of it gets.
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[data.size() + 1]);
    if (!OurDecode(ours, out.get(), data.size()) || std::memcmp(out.get(), data.data(), data.size()) != 0) {
      std::fprintf(stderr, "%s: our decode differs from the file\n", name.c_str());
      return 1;
    }
    if (!ZlibDecode(zlib, out.get(), data.size()) || std::memcmp(out.get(), data.data(), data.size()) != 0) {
      std::fprintf(stderr, "%s: zlib decode differs from the file\n", name.c_str());
      return 1;
    }
    const double t_ours = BestOf(runs, [&] { OurDecode(ours, out.get(), data.size()); });
    const double t_zlib = BestOf(runs, [&] { ZlibDecode(zlib, out.get(), data.size()); });
    std::printf("%-16s %10zu %10zu %10zu %12.1f %12.1f %8.2f\n", name.c_str(), data.size(), ours.size(), zlib.size(),
                MegabytesPerSecond(data.size(), t_ours), MegabytesPerSecond(data.size(), t_zlib), t_zlib / t_ours);
    total_size += data.size();
    total_ours += t_ours;
    total_zlib += t_zlib;
  }
  std::printf("%-16s %10zu %10s %10s %12.1f %12.1f %8.2f\n", "total", total_size, "", "",
              MegabytesPerSecond(total_size, total_ours), MegabytesPerSecond(total_size, total_zlib),
              total_zlib / total_ours);
  std::printf("(level %d, best of %d runs, CPU time; ratio = zlib time / our time)\n", level, runs);
  return 0;
}
