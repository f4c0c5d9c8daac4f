// SHA-256 against the FIPS 180-4 example vectors, and the same digest
// whatever the split of the input into Update calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "payload/sha256.h"

namespace sfx {
namespace {

std::string HexOf(const std::string& text) {
  return Sha256Hex(Sha256Of(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(Sha256Test, KnownVectors) {
  const struct {
    std::string input, digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // 56 bytes: the padding needs a second block.
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      // 112 bytes, also from FIPS 180-4.
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
       "rstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
  };
  for (const auto& c : cases) EXPECT_EQ(HexOf(c.input), c.digest) << c.input;
}

TEST(Sha256Test, SplitUpdatesGiveTheSameDigest) {
  std::vector<std::uint8_t> data(1000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
  const Sha256Digest whole = Sha256Of(data.data(), data.size());
  for (std::size_t step : {1u, 63u, 64u, 65u, 200u}) {
    Sha256 hash;
    for (std::size_t at = 0; at < data.size(); at += step)
      hash.Update(data.data() + at, std::min(step, data.size() - at));
    EXPECT_EQ(hash.Finish(), whole) << step;
  }
}

}  // namespace
}  // namespace sfx
