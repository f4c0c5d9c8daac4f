// Seeded generators of test inputs: text, binary-like records, interleaved
// audio-like channels, runs and random bytes.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace sfx::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng() >> 24);
  return out;
}

// Word salad from a small vocabulary: compressible like prose.
inline Bytes TextLike(std::size_t n, std::uint32_t seed) {
  static const char* const kWords[] = {"the",     "installer", "writes", "every",   "file",    "of",       "update",
                                       "into",    "working",   "folder", "and",     "then",    "starts",   "setup",
                                       "program", "which",     "checks", "version", "product", "registry", "key",
                                       "value",   "is",        "not",    "found",   "error",   "while",    "reading"};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < n) {
    const std::string word = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    out.insert(out.end(), word.begin(), word.end());
    const std::uint32_t r = rng() % 16;
    out.push_back(r == 0 ? '.' : r == 1 ? '\n' : ' ');
  }
  out.resize(n);
  return out;
}

// Records of small integers, pointers and opcodes, as in executables.
inline Bytes BinaryLike(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  std::uint32_t address = 0x401000;
  while (out.size() < n) {
    const std::uint32_t kind = rng() % 4;
    if (kind == 0) {
      const std::uint8_t op[] = {0x55, 0x8B, 0xEC, 0x83, 0xEC, static_cast<std::uint8_t>(rng() % 64)};
      out.insert(out.end(), op, op + sizeof op);
    } else if (kind == 1) {
      address += rng() % 256;
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    } else if (kind == 2) {
      out.insert(out.end(), rng() % 12, 0);
    } else {
      out.push_back(static_cast<std::uint8_t>(rng() % 8));
      out.push_back(0xE8);
    }
  }
  out.resize(n);
  return out;
}

// `channels` interleaved slowly varying signals with a little noise; with
// two channels per sample this is 16-bit little-endian PCM.
inline Bytes SignalLike(std::size_t n, int channels, std::uint32_t seed, bool pcm16 = false) {
  std::mt19937 rng(seed);
  Bytes out(n);
  double phase = 0;
  for (std::size_t i = 0; i < n; i += static_cast<std::size_t>(channels)) {
    phase += 0.013 + 0.002 * std::sin(static_cast<double>(i) * 1e-4);
    if (pcm16) {
      const int sample =
          static_cast<int>(9000 * std::sin(phase) + 3000 * std::sin(phase * 3.1)) + static_cast<int>(rng() % 64) - 32;
      for (int c = 0; c < channels && i + static_cast<std::size_t>(c) < n; ++c) {
        out[i + static_cast<std::size_t>(c)] =
            static_cast<std::uint8_t>((static_cast<std::uint32_t>(sample) >> (8 * (c % 2))) & 0xFF);
      }
    } else {
      for (int c = 0; c < channels && i + static_cast<std::size_t>(c) < n; ++c) {
        const double v = 128 + 90 * std::sin(phase * (1 + 0.3 * c) + c) + static_cast<double>(rng() % 7);
        out[i + static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(static_cast<int>(v) & 0xFF);
      }
    }
  }
  return out;
}

inline void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

}  // namespace sfx::test
