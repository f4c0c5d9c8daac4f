// Scrambling of setup configuration files: see config_scrambler.h.
#include "config/config_scrambler.h"

#include <stdexcept>

namespace sfx {

namespace {

constexpr std::uint8_t kFirstByteMask = 0x20;
constexpr std::uint8_t kKeyStep = 15;

}  // namespace

bool IsScrambleMarker(std::uint8_t marker) { return marker < 0x20 || marker > 0x7E; }

std::string ScrambleConfig(const std::string& plain, std::uint8_t marker) {
  if (!IsScrambleMarker(marker)) {
    throw std::invalid_argument("scramble marker must lie outside 0x20..0x7E");
  }
  std::string out;
  out.reserve(plain.size() + 1);
  out.push_back(static_cast<char>(marker));
  // The reader XORs the marker with k0 and then steps the key once.
  auto key = static_cast<std::uint8_t>((marker ^ kFirstByteMask) + kKeyStep);
  for (const char c : plain) {
    out.push_back(static_cast<char>(static_cast<std::uint8_t>(c) ^ key));
    key = static_cast<std::uint8_t>(key + kKeyStep);  // wraps modulo 256
  }
  return out;
}

}  // namespace sfx
