// Scrambling of the finished stream: 32-bit little-endian words, each stored
// word = plain word XOR key, and the next key = stored word + 0x2E69. The
// chain runs on the stored words, so unscrambling takes the key from the
// word before it is changed. A final partial word uses the low-order bytes of
// its key (byte i of a word pairs with bits 8i..8i+7 of the key).
#include <cstring>

#include "common/byte_order.h"
#include "encode/encoder.h"

namespace sfx {
namespace {

constexpr std::uint32_t kKeyStep = 0x2E69;

// Applies the key chain; `scramble` tells which side of the XOR the chain
// follows (the stored words).
void ApplyKeyChain(std::uint8_t* stream, std::size_t size, std::uint32_t seed, bool scramble) {
  std::uint32_t key = seed;
  std::size_t pos = 0;
  for (; pos + 4 <= size; pos += 4) {
    const std::uint32_t word = LoadLE32(stream + pos);
    const std::uint32_t result = word ^ key;
    StoreLE32(stream + pos, result);
    key = (scramble ? result : word) + kKeyStep;
  }
  for (std::size_t i = 0; pos + i < size; ++i) stream[pos + i] ^= static_cast<std::uint8_t>(key >> (8 * i));
}

}  // namespace

void ScrambleStream(std::uint8_t* stream, std::size_t size, std::uint32_t seed) { ApplyKeyChain(stream, size, seed, true); }

void UnscrambleStream(std::uint8_t* stream, std::size_t size, std::uint32_t seed) { ApplyKeyChain(stream, size, seed, false); }

}  // namespace sfx
