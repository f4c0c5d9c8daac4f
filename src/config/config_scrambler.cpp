// Scrambling of setup configuration files: see config_scrambler.h.
#include "config/config_scrambler.h"

#include <stdexcept>

#include "config/config_reader.h"

namespace sfx {

bool IsScrambleMarker(std::uint8_t marker) { return !IsPrintableConfigByte(marker); }

std::string ScrambleConfig(const std::string& plain, std::uint8_t marker) {
  if (!IsScrambleMarker(marker)) {
    throw std::invalid_argument("scramble marker must lie outside 0x20..0x7E");
  }
  std::string out;
  out.reserve(plain.size() + 1);
  out.push_back(static_cast<char>(marker));
  // The reader XORs the marker with k0 and then steps the key once.
  auto key = static_cast<std::uint8_t>((marker ^ kScrambleFirstByteMask) + kScrambleKeyStep);
  for (const char c : plain) {
    out.push_back(static_cast<char>(static_cast<std::uint8_t>(c) ^ key));
    key = static_cast<std::uint8_t>(key + kScrambleKeyStep);  // wraps modulo 256
  }
  return out;
}

}  // namespace sfx
