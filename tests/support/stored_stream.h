// A plain stream in the stored form the installer carries, written here
// independently of the encoder's ScrambleStream, and bytes from the hex
// text of a stream written by another encoder (SFX_FOO_STREAM_HEX).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "format/scramble_key.h"

namespace sfx::test {

using Bytes = std::vector<std::uint8_t>;

// Stores a plain stream the way the installer carries it: little-endian
// words XORed with a key chain that starts at the payload seed; a final
// partial word is scrambled with the low bytes of its key.
inline Bytes Scramble(const Bytes& plain, std::uint32_t key = kPayloadSeed) {
  Bytes stored(plain.size());
  for (std::size_t i = 0; i < plain.size(); i += 4) {
    std::uint8_t word[4] = {};
    const std::size_t n = plain.size() - i < 4 ? plain.size() - i : 4;
    for (std::size_t j = 0; j < n; ++j) word[j] = plain[i + j];
    const std::uint32_t s = LoadLE32(word) ^ key;
    key = NextScrambleKey(s);
    StoreLE32(word, s);
    for (std::size_t j = 0; j < n; ++j) stored[i + j] = word[j];
  }
  return stored;
}

// The bytes of a text of hex digit pairs.
inline Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

}  // namespace sfx::test
