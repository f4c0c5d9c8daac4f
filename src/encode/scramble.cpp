// Scrambling of the finished stream with the key chain of
// format/scramble_key.h. The chain runs on the stored words, so
// unscrambling takes the next key from a word before it is changed.
#include <cstring>

#include "common/byte_order.h"
#include "encode/encoder.h"
#include "format/scramble_key.h"

namespace sfx {
namespace {

// Applies the key chain; `scramble` tells which side of the XOR the chain
// follows (the stored words).
void ApplyKeyChain(std::uint8_t* stream, std::size_t size, std::uint32_t seed, bool scramble) {
  std::uint32_t key = seed;
  std::size_t pos = 0;
  for (; pos + 4 <= size; pos += 4) {
    const std::uint32_t word = LoadLE32(stream + pos);
    const std::uint32_t result = word ^ key;
    StoreLE32(stream + pos, result);
    key = NextScrambleKey(scramble ? result : word);
  }
  for (std::size_t i = 0; pos + i < size; ++i) stream[pos + i] ^= static_cast<std::uint8_t>(key >> (8 * i));
}

}  // namespace

void ScrambleStream(std::uint8_t* stream, std::size_t size, std::uint32_t seed) {
  ApplyKeyChain(stream, size, seed, true);
}

void UnscrambleStream(std::uint8_t* stream, std::size_t size, std::uint32_t seed) {
  ApplyKeyChain(stream, size, seed, false);
}

}  // namespace sfx
