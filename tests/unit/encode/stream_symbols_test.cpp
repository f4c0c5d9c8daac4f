// Mapping of lengths and distances onto codes and extra bits, checked
// against the base tables of the stream format.
#include <gtest/gtest.h>

#include "encode/stream_symbols.h"

namespace sfx::encode {
namespace {

constexpr std::uint32_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,  12,  14,  16,  20,
                                           24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
constexpr std::uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
constexpr std::uint32_t kDistanceBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
constexpr std::uint8_t kDistanceBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                            7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                            15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};

TEST(StreamSymbols, EveryLengthValueMapsOntoItsCode) {
  for (std::uint32_t v = 0; v < 256; ++v) {
    const LengthCode lc = MapLengthValue(v);
    ASSERT_LT(lc.code, 28);
    EXPECT_EQ(lc.extra_bits, kLengthBits[lc.code]);
    EXPECT_LT(lc.extra, 1u << lc.extra_bits | (lc.extra_bits == 0 ? 1u : 0u));
    EXPECT_EQ(kLengthBase[lc.code] + lc.extra, v);
  }
}

TEST(StreamSymbols, EveryDistanceMapsOntoItsCode) {
  for (std::uint32_t d = 1; d <= 0x100000; ++d) {
    const DistanceCode dc = MapDistance(d);
    ASSERT_LT(dc.code, 48) << d;
    ASSERT_EQ(dc.extra_bits, kDistanceBits[dc.code]) << d;
    ASSERT_LT(dc.extra, 1u << dc.extra_bits | (dc.extra_bits == 0 ? 1u : 0u)) << d;
    ASSERT_EQ(kDistanceBase[dc.code] + 1 + dc.extra, d);
  }
}

TEST(StreamSymbols, ShortDistancesCoverOneTo256) {
  constexpr std::uint32_t kBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
  constexpr std::uint8_t kBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
  for (std::uint32_t d = 1; d <= 256; ++d) {
    const ShortCode sc = MapShortDistance(d);
    ASSERT_LT(sc.code, 8);
    EXPECT_EQ(sc.extra_bits, kBits[sc.code]);
    EXPECT_LT(sc.extra, 1u << sc.extra_bits);
    EXPECT_EQ(kBase[sc.code] + 1 + sc.extra, d);
  }
}

TEST(StreamSymbols, DecoderLengthAdjustmentsByDistance) {
  EXPECT_EQ(MinLongLength(0x1FFF), 3u);
  EXPECT_EQ(MinLongLength(0x2000), 4u);
  EXPECT_EQ(MinLongLength(0x40000), 5u);
  EXPECT_EQ(MinRecentLength(0x100), 2u);
  EXPECT_EQ(MinRecentLength(0x101), 3u);
  EXPECT_EQ(MinRecentLength(0x2000), 4u);
  EXPECT_EQ(MinRecentLength(0x40000), 5u);
  EXPECT_GE(MaxLongLength(1), kMaxMatch);
  EXPECT_GE(MaxRecentLength(1), kMaxMatch);
}

}  // namespace
}  // namespace sfx::encode
