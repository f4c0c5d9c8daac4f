// Multimedia predictor: first bytes, adaptation sums and the tie rule,
// weight limits, the arithmetic shift, and channels sharing the last delta.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "unpack/delta_decoder.h"
#include "unpack/unpack_state.h"

namespace sfx {
namespace {

std::vector<std::uint8_t> DecodeAll(UnpackState& state, const std::vector<std::uint32_t>& deltas) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t d : deltas) out.push_back(DecodeDeltaByte(state, d));
  return out;
}

TEST(DeltaDecoderTest, FirstBytesAreThePreviousValueMinusTheDelta) {
  auto state = NewUnpackState();
  EXPECT_EQ(DecodeAll(*state, {1, 0, 0}), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF}));
  const ChannelPredictor& p = state->channel_predictors[0];
  EXPECT_EQ(p.prev_value, 255);
  EXPECT_EQ(p.prev_delta, 0);
  EXPECT_EQ(p.sample_count, 3);
}

TEST(DeltaDecoderTest, ValueIsKeptAsAFullNumber) {
  auto state = NewUnpackState();
  EXPECT_EQ(DecodeDeltaByte(*state, 2), 254);
  EXPECT_EQ(state->channel_predictors[0].prev_value, -2);
  EXPECT_EQ(state->channel_predictors[0].prev_delta, -2);
  EXPECT_EQ(state->shared_delta, -2);
}

TEST(DeltaDecoderTest, ErrorSumsAfter31BytesAndTheTieAtThe32nd) {
  auto state = NewUnpackState();
  const std::vector<std::uint32_t> deltas(31, 2);
  const auto out = DecodeAll(*state, deltas);
  for (std::size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], 254 - 2 * i) << i;
  const ChannelPredictor& p = state->channel_predictors[0];
  // The 32nd byte adds 16, 18, 14, 16 x6, 18, 14 to reach 512, 574, 450,
  // 514, 510, 514, 510, 514, 510, 574, 450.
  const std::vector<std::uint32_t> after31 = {496, 556, 436, 498, 494, 498, 494, 498, 494, 556, 436};
  EXPECT_EQ(std::vector<std::uint32_t>(p.error_sums, p.error_sums + 11), after31);
  EXPECT_EQ(DecodeDeltaByte(*state, 2), 192);
  // e2 and e10 tie; the lower index wins and w0 rises.
  EXPECT_EQ(p.weights[0], 1);
  for (int i = 1; i < 5; ++i) EXPECT_EQ(p.weights[i], 0) << i;
  for (std::uint32_t e : p.error_sums) EXPECT_EQ(e, 0u);
}

TEST(DeltaDecoderTest, AllSumsEqualChangesNoWeight) {
  auto state = NewUnpackState();
  ChannelPredictor& p = state->channel_predictors[0];
  p.sample_count = 31;
  for (auto& e : p.error_sums) e = 1000;
  DecodeDeltaByte(*state, 0);  // all terms zero: the sums stay equal
  for (int w : p.weights) EXPECT_EQ(w, 0);
  for (std::uint32_t e : p.error_sums) EXPECT_EQ(e, 0u);
}

// Makes sum `best` the smallest and adapts on the next byte.
void AdaptTowards(UnpackState& state, int best) {
  ChannelPredictor& p = state.channel_predictors[0];
  p.sample_count = 31;
  for (auto& e : p.error_sums) e = 100000;
  p.error_sums[best] = 0;
  p.prev_value = 0;
  p.prev_delta = 0;
  for (auto& h : p.history) h = 0;
  state.shared_delta = 0;
  DecodeDeltaByte(state, 0);
}

TEST(DeltaDecoderTest, WeightsFallToMinus17AndRiseTo16) {
  auto state = NewUnpackState();
  ChannelPredictor& p = state->channel_predictors[0];
  for (int w = 0; w < 5; ++w) {
    p.weights[w] = -16;
    AdaptTowards(*state, 1 + 2 * w);
    EXPECT_EQ(p.weights[w], -17) << w;
    AdaptTowards(*state, 1 + 2 * w);
    EXPECT_EQ(p.weights[w], -17) << w;
    p.weights[w] = 15;
    AdaptTowards(*state, 2 + 2 * w);
    EXPECT_EQ(p.weights[w], 16) << w;
    AdaptTowards(*state, 2 + 2 * w);
    EXPECT_EQ(p.weights[w], 16) << w;
  }
}

TEST(DeltaDecoderTest, EachSumMovesItsOwnWeight) {
  for (int best = 1; best <= 10; ++best) {
    auto state = NewUnpackState();
    AdaptTowards(*state, best);
    const ChannelPredictor& p = state->channel_predictors[0];
    for (int w = 0; w < 5; ++w) {
      const int want = w == (best - 1) / 2 ? (best % 2 == 1 ? -1 : 1) : 0;
      EXPECT_EQ(p.weights[w], want) << "best " << best << " weight " << w;
    }
  }
}

TEST(DeltaDecoderTest, PredictionShiftsWithSign) {
  auto state = NewUnpackState();
  state->channel_predictors[0].prev_value = -1;  // 8 x -1 = -8, shifted: -1
  EXPECT_EQ(DecodeDeltaByte(*state, 0), 0xFF);
  auto other = NewUnpackState();
  other->channel_predictors[0].prev_value = -3;
  other->channel_predictors[0].weights[0] = 5;
  other->channel_predictors[0].prev_delta = -1;  // h0 = -1: sum -24 - 5 = -29 -> -4
  EXPECT_EQ(DecodeDeltaByte(*other, 0), 0xFC);
}

TEST(DeltaDecoderTest, WeightedHistoryTermsEnterThePrediction) {
  auto state = NewUnpackState();
  ChannelPredictor& p = state->channel_predictors[0];
  p.prev_value = 100;
  p.prev_delta = 4;
  p.history[0] = 1;  // -> h1 = 3, h0 = 4
  p.history[1] = 2;  // -> h2 = 2
  p.history[2] = 5;  // -> h3 = 5
  for (int i = 0; i < 5; ++i) p.weights[i] = i + 1;
  state->shared_delta = -3;
  // 800 + 1*4 + 2*3 + 3*2 + 4*5 + 5*(-3) = 821 -> 102; minus delta 10 = 92.
  EXPECT_EQ(DecodeDeltaByte(*state, 10), 92);
  EXPECT_EQ(p.history[0], 4);
  EXPECT_EQ(p.history[1], 3);
  EXPECT_EQ(p.history[2], 2);
  EXPECT_EQ(p.history[3], 5);
}

TEST(DeltaDecoderTest, ChannelsKeepTheirOwnPredictorsButShareTheLastDelta) {
  auto state = NewUnpackState();
  state->channel_predictors[1].weights[4] = 8;
  state->current_channel = 0;
  EXPECT_EQ(DecodeDeltaByte(*state, 1), 0xFF);  // channel 0: delta -1
  state->current_channel = 1;
  // Channel 1 has no history of its own; w4 x shared delta = -8 -> -1.
  EXPECT_EQ(DecodeDeltaByte(*state, 0), 0xFF);
  EXPECT_EQ(state->channel_predictors[0].sample_count, 1);
  EXPECT_EQ(state->channel_predictors[1].sample_count, 1);
  EXPECT_EQ(state->channel_predictors[1].prev_value, 255);
  EXPECT_EQ(state->channel_predictors[0].prev_value, -1);
}

TEST(DeltaDecoderTest, ChannelsAdaptOnTheirOwn32ndByte) {
  auto state = NewUnpackState();
  for (int i = 0; i < 63; ++i) {
    state->current_channel = i % 2;
    DecodeDeltaByte(*state, 2);
  }
  // Channel 0 has had 32 bytes and adapted; channel 1 only 31.
  EXPECT_EQ(state->channel_predictors[0].sample_count, 32);
  EXPECT_EQ(state->channel_predictors[1].sample_count, 31);
  EXPECT_EQ(state->channel_predictors[0].error_sums[0], 0u);
  EXPECT_NE(state->channel_predictors[1].error_sums[0], 0u);
}

}  // namespace
}  // namespace sfx
