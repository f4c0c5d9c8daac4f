// The encoder's copy of the multimedia predictor.
#include <gtest/gtest.h>

#include <random>

#include "encode/delta_predictor.h"
#include "unit/encode/test_data.h"

namespace sfx::encode {
namespace {

TEST(DeltaPredictor, FirstBytesAreThePreviousValueLessTheDelta) {
  DeltaPredictor p;
  EXPECT_EQ(p.DecodeDelta(0, 1), 0xFF);
  EXPECT_EQ(p.DecodeDelta(0, 0), 0xFF);
  EXPECT_EQ(p.DecodeDelta(0, 0), 0xFF);
  EXPECT_EQ(p.PreviousValue(0), 255);
  EXPECT_EQ(p.PreviousDelta(0), 0);
}

TEST(DeltaPredictor, AdaptsTheBestWeightEvery32Bytes) {
  DeltaPredictor p;
  for (int i = 1; i <= 31; ++i) EXPECT_EQ(p.DecodeDelta(0, 2), 256 - 2 * i) << i;
  // Sums before the 32nd byte; its own contribution completes them to 512,
  // 574, 450, 514, 510, 514, 510, 514, 510, 574, 450.
  EXPECT_EQ(p.ErrorSum(0, 0), 512u - 16u);
  EXPECT_EQ(p.DecodeDelta(0, 2), 192);
  EXPECT_EQ(p.Weight(0, 0), 1);  // e2 wins its tie with e10
  for (int w = 1; w < 5; ++w) EXPECT_EQ(p.Weight(0, w), 0);
  for (int e = 0; e < 11; ++e) EXPECT_EQ(p.ErrorSum(0, e), 0u);
}

TEST(DeltaPredictor, ChannelsAdaptOnTheirOwnCount) {
  DeltaPredictor p;
  for (int i = 0; i < 32; ++i) {
    p.DecodeDelta(0, 2);
    p.DecodeDelta(1, 0);
  }
  // Channel 1 saw nonzero shared deltas from channel 0, so it adapts too,
  // but each at its own 32nd byte.
  EXPECT_EQ(p.ErrorSum(0, 0), 0u);
  EXPECT_EQ(p.ErrorSum(1, 0), 0u);
  p.DecodeDelta(0, 2);
  EXPECT_GT(p.ErrorSum(0, 0), 0u);
  EXPECT_EQ(p.ErrorSum(1, 0), 0u);
}

TEST(DeltaPredictor, EncodingIsTheInverseOfDecoding) {
  for (int channels = 1; channels <= 4; ++channels) {
    const auto data = testing::SignalLike(20000, channels, 7);
    const auto noise = testing::RandomBytes(5000, 8);
    DeltaPredictor encoder, decoder;
    int ch = 0;
    for (const auto* bytes : {&data, &noise, &data}) {
      for (std::uint8_t byte : *bytes) {
        const std::uint8_t delta = encoder.EncodeByte(ch, byte);
        ASSERT_EQ(decoder.DecodeDelta(ch, delta), byte);
        ch = (ch + 1) % channels;
      }
    }
    for (int c = 0; c < channels; ++c) {
      for (int w = 0; w < 5; ++w) {
        EXPECT_EQ(encoder.Weight(c, w), decoder.Weight(c, w));
        EXPECT_GE(encoder.Weight(c, w), -17);
        EXPECT_LE(encoder.Weight(c, w), 16);
      }
    }
  }
}

TEST(DeltaPredictor, RunsGiveTheSameDeltasCountsAndStateAsSingleBytes) {
  for (int channels = 1; channels <= 4; ++channels) {
    auto data = testing::SignalLike(9000, channels, 11, channels == 2);
    testing::Append(data, testing::RandomBytes(700, 12));
    for (int start = 0; start < channels; ++start) {
      DeltaPredictor single, batch;
      std::uint32_t expected_counts[4][257] = {}, counts[4][257] = {};
      std::vector<std::uint8_t> expected(data.size()), deltas(data.size());
      int ch = start;
      for (std::size_t i = 0; i < data.size(); ++i) {
        expected[i] = single.EncodeByte(ch, data[i]);
        ++expected_counts[ch][expected[i]];
        ch = (ch + 1) % channels;
      }
      // Two runs, the second continuing where the first stopped.
      const std::size_t half = data.size() / 2 + 1;
      const int mid = batch.EncodeRun(channels, start, data.data(), half, deltas.data(), counts);
      EXPECT_EQ(mid, static_cast<int>((static_cast<std::size_t>(start) + half) % static_cast<std::size_t>(channels)));
      const int end = batch.EncodeRun(channels, mid, data.data() + half, data.size() - half, deltas.data() + half, counts);
      EXPECT_EQ(end, ch);
      EXPECT_EQ(deltas, expected) << channels << " channels from " << start;
      for (int c = 0; c < 4; ++c) {
        for (int s = 0; s < 257; ++s) ASSERT_EQ(counts[c][s], expected_counts[c][s]) << c << " " << s;
        for (int w = 0; w < 5; ++w) EXPECT_EQ(batch.Weight(c, w), single.Weight(c, w));
        for (int e = 0; e < 11; ++e) EXPECT_EQ(batch.ErrorSum(c, e), single.ErrorSum(c, e));
        EXPECT_EQ(batch.PreviousValue(c), single.PreviousValue(c));
      }
    }
  }
}

TEST(DeltaPredictor, SmoothSignalsGiveSmallDeltas) {
  const auto data = testing::SignalLike(30000, 1, 9);
  DeltaPredictor p;
  std::uint64_t small = 0;
  for (std::uint8_t byte : data) {
    const std::uint8_t d = p.EncodeByte(0, byte);
    if (d < 8 || d > 248) ++small;
  }
  EXPECT_GT(small, data.size() * 3 / 4);
}

}  // namespace
}  // namespace sfx::encode
