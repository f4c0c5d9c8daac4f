// The bit sink: fields of every width in a row come out as the same bits,
// most significant first, as a one-bit-at-a-time writer gives.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "encode/bit_writer.h"

namespace sfx::encode {
namespace {

// Packs a list of bits MSB first, padding the last byte with zeros.
std::vector<std::uint8_t> PackBits(const std::vector<int>& bits) {
  std::vector<std::uint8_t> out((bits.size() + 7) / 8, 0);
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (bits[i] != 0) out[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  }
  return out;
}

TEST(BitWriter, MixedWidthsMatchABitByBitReference) {
  std::mt19937 rng(5);
  for (int round = 0; round < 50; ++round) {
    std::vector<std::uint8_t> stream;
    BitWriter out(stream);
    std::vector<int> bits;
    const int fields = 1 + static_cast<int>(rng() % 200);
    for (int f = 0; f < fields; ++f) {
      const int count = static_cast<int>(rng() % 33);  // 0..32
      // Bits above `count` are set on purpose: they must not leak.
      const std::uint32_t value = static_cast<std::uint32_t>(rng());
      out.Put(value, count);
      for (int b = count - 1; b >= 0; --b) bits.push_back(static_cast<int>((value >> b) & 1));
      ASSERT_EQ(out.BitCount(), bits.size());
    }
    out.Flush();
    EXPECT_EQ(stream, PackBits(bits)) << "round " << round;
    EXPECT_EQ(out.BitCount(), stream.size() * 8);
  }
}

TEST(BitWriter, FlushOnAWordBoundaryAddsNothing) {
  std::vector<std::uint8_t> stream;
  BitWriter out(stream);
  out.Put(0xDEADBEEF, 32);
  out.Put(0x1234, 16);
  out.Flush();
  EXPECT_EQ(stream, (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF, 0x12, 0x34}));
  out.Flush();
  EXPECT_EQ(stream.size(), 6u);
}

}  // namespace
}  // namespace sfx::encode
