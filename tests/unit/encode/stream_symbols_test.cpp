// Mapping of lengths and distances onto codes and extra bits, checked
// against the base tables of the stream format.
#include <gtest/gtest.h>

#include "encode/stream_symbols.h"
#include "format/stream_format.h"

namespace sfx::encode {
namespace {

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
  for (std::uint32_t d = 1; d <= 256; ++d) {
    const ShortCode sc = MapShortDistance(d);
    ASSERT_LT(sc.code, 8);
    EXPECT_EQ(sc.extra_bits, kShortBits[sc.code]);
    EXPECT_LT(sc.extra, 1u << sc.extra_bits);
    EXPECT_EQ(kShortBase[sc.code] + 1 + sc.extra, d);
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
