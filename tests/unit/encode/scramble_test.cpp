// Stream scrambling: the key chain over stored words and the partial word.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/byte_order.h"
#include "encode/encoder.h"
#include "format/scramble_key.h"

namespace sfx {
namespace {

TEST(Scramble, KeyChainFollowsTheStoredWords) {
  // Zero plain bytes store the keys themselves: seed, then seed + step, and
  // a partial third word takes the low bytes of its key.
  std::vector<std::uint8_t> s(10, 0);
  ScrambleStream(s.data(), s.size(), kPayloadSeed);
  EXPECT_EQ(LoadLE32(s.data()), kPayloadSeed);
  const std::uint32_t k2 = kPayloadSeed + 0x2E69;
  EXPECT_EQ(LoadLE32(s.data() + 4), k2);
  const std::uint32_t k3 = k2 + 0x2E69;
  EXPECT_EQ(s[8], static_cast<std::uint8_t>(k3));
  EXPECT_EQ(s[9], static_cast<std::uint8_t>(k3 >> 8));
}

TEST(Scramble, SecondKeyDependsOnTheFirstStoredWordOnly) {
  std::vector<std::uint8_t> a = {1, 2, 3, 4, 9, 9, 9, 9};
  ScrambleStream(a.data(), a.size(), 0x12345678u);
  const std::uint32_t stored1 = LoadLE32(a.data());
  EXPECT_EQ(stored1, 0x04030201u ^ 0x12345678u);
  EXPECT_EQ(LoadLE32(a.data() + 4), 0x09090909u ^ (stored1 + 0x2E69u));
}

TEST(Scramble, UnscrambleIsTheInverseForEverySize) {
  std::mt19937 rng(4);
  for (std::size_t size = 0; size < 40; ++size) {
    std::vector<std::uint8_t> plain(size);
    for (auto& b : plain) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> s = plain;
    ScrambleStream(s.data(), s.size(), kPayloadSeed);
    if (size >= 4) {
      EXPECT_NE(s, plain);
    }
    UnscrambleStream(s.data(), s.size(), kPayloadSeed);
    EXPECT_EQ(s, plain) << size;
  }
}

}  // namespace
}  // namespace sfx
