// Multimedia predictor: first bytes, adaptation sums and the tie rule,
// weight limits, the arithmetic shift, channels sharing the last delta, and
// encoding as the inverse of decoding.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

#include "format/delta_predictor.h"
#include "support/test_data.h"

namespace sfx {
namespace {

namespace data = test;

std::vector<std::uint8_t> DecodeAll(DeltaPredictor& p, const std::vector<std::uint32_t>& deltas) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t d : deltas) out.push_back(p.DecodeDelta(0, static_cast<std::uint8_t>(d)));
  return out;
}

std::vector<std::uint32_t> ErrorSums(const DeltaPredictor::Channel& c) {
  std::vector<std::uint32_t> sums;
  for (int e = 0; e < DeltaPredictor::kErrorSums; ++e) sums.push_back(c.ErrorSum(e));
  return sums;
}

// Everything the model reads, channel by channel: the two forms may differ
// in the sum lanes that nothing reads.
std::vector<std::int32_t> ModelState(const DeltaPredictor& p) {
  std::vector<std::int32_t> state{p.shared_delta};
  for (const DeltaPredictor::Channel& c : p.channels) {
    state.insert(state.end(), std::begin(c.weights), std::end(c.weights));
    state.insert(state.end(), std::begin(c.history), std::end(c.history));
    state.insert(state.end(), {c.prev_delta, c.sample_count, c.prev_value});
    for (std::uint32_t sum : ErrorSums(c)) state.push_back(static_cast<std::int32_t>(sum));
  }
  return state;
}

TEST(DeltaPredictorTest, FirstBytesAreThePreviousValueMinusTheDelta) {
  DeltaPredictor predictor;
  EXPECT_EQ(DecodeAll(predictor, {1, 0, 0}), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF}));
  const DeltaPredictor::Channel& p = predictor.channels[0];
  EXPECT_EQ(p.prev_value, 255);
  EXPECT_EQ(p.prev_delta, 0);
  EXPECT_EQ(p.sample_count, 3);
}

TEST(DeltaPredictorTest, ValueIsKeptAsAFullNumber) {
  DeltaPredictor predictor;
  EXPECT_EQ(predictor.DecodeDelta(0, 2), 254);
  EXPECT_EQ(predictor.channels[0].prev_value, -2);
  EXPECT_EQ(predictor.channels[0].prev_delta, -2);
  EXPECT_EQ(predictor.shared_delta, -2);
}

TEST(DeltaPredictorTest, ErrorSumsAfter31BytesAndTheTieAtThe32nd) {
  DeltaPredictor predictor;
  const std::vector<std::uint32_t> deltas(31, 2);
  const auto out = DecodeAll(predictor, deltas);
  for (std::size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], 254 - 2 * i) << i;
  const DeltaPredictor::Channel& p = predictor.channels[0];
  // The 32nd byte adds 16, 18, 14, 16 x6, 18, 14 to reach 512, 574, 450,
  // 514, 510, 514, 510, 514, 510, 574, 450.
  const std::vector<std::uint32_t> after31 = {496, 556, 436, 498, 494, 498, 494, 498, 494, 556, 436};
  EXPECT_EQ(ErrorSums(p), after31);
  EXPECT_EQ(predictor.DecodeDelta(0, 2), 192);
  // e2 and e10 tie; the lower index wins and w0 rises.
  EXPECT_EQ(p.weights[0], 1);
  for (int i = 1; i < 5; ++i) EXPECT_EQ(p.weights[i], 0) << i;
  for (std::uint32_t e : ErrorSums(p)) EXPECT_EQ(e, 0u);
}

TEST(DeltaPredictorTest, AllSumsEqualChangesNoWeight) {
  DeltaPredictor predictor;
  DeltaPredictor::Channel& p = predictor.channels[0];
  p.sample_count = 31;
  for (int e = 0; e < DeltaPredictor::kErrorSums; ++e) p.ErrorSum(e) = 1000;
  predictor.DecodeDelta(0, 0);  // all terms zero: the sums stay equal
  for (int w : p.weights) EXPECT_EQ(w, 0);
  for (std::uint32_t e : ErrorSums(p)) EXPECT_EQ(e, 0u);
}

// Makes sum `best` the smallest and adapts on the next byte.
void AdaptTowards(DeltaPredictor& predictor, int best) {
  DeltaPredictor::Channel& p = predictor.channels[0];
  p.sample_count = 31;
  for (int e = 0; e < DeltaPredictor::kErrorSums; ++e) p.ErrorSum(e) = 40000;
  p.ErrorSum(best) = 0;
  p.prev_value = 0;
  p.prev_delta = 0;
  for (auto& h : p.history) h = 0;
  predictor.shared_delta = 0;
  predictor.DecodeDelta(0, 0);
}

TEST(DeltaPredictorTest, WeightsFallToMinus17AndRiseTo16) {
  DeltaPredictor predictor;
  DeltaPredictor::Channel& p = predictor.channels[0];
  for (int w = 0; w < 5; ++w) {
    p.weights[w] = -16;
    AdaptTowards(predictor, 1 + 2 * w);
    EXPECT_EQ(p.weights[w], -17) << w;
    AdaptTowards(predictor, 1 + 2 * w);
    EXPECT_EQ(p.weights[w], -17) << w;
    p.weights[w] = 15;
    AdaptTowards(predictor, 2 + 2 * w);
    EXPECT_EQ(p.weights[w], 16) << w;
    AdaptTowards(predictor, 2 + 2 * w);
    EXPECT_EQ(p.weights[w], 16) << w;
  }
}

TEST(DeltaPredictorTest, EachSumMovesItsOwnWeight) {
  for (int best = 1; best <= 10; ++best) {
    DeltaPredictor predictor;
    AdaptTowards(predictor, best);
    const DeltaPredictor::Channel& p = predictor.channels[0];
    for (int w = 0; w < 5; ++w) {
      const int want = w == (best - 1) / 2 ? (best % 2 == 1 ? -1 : 1) : 0;
      EXPECT_EQ(p.weights[w], want) << "best " << best << " weight " << w;
    }
  }
}

TEST(DeltaPredictorTest, PredictionShiftsWithSign) {
  DeltaPredictor predictor;
  predictor.channels[0].prev_value = -1;  // 8 x -1 = -8, shifted: -1
  EXPECT_EQ(predictor.DecodeDelta(0, 0), 0xFF);
  DeltaPredictor other;
  other.channels[0].prev_value = -3;
  other.channels[0].weights[0] = 5;
  other.channels[0].prev_delta = -1;  // h0 = -1: sum -24 - 5 = -29 -> -4
  EXPECT_EQ(other.DecodeDelta(0, 0), 0xFC);
}

TEST(DeltaPredictorTest, WeightedHistoryTermsEnterThePrediction) {
  DeltaPredictor predictor;
  DeltaPredictor::Channel& p = predictor.channels[0];
  p.prev_value = 100;
  p.prev_delta = 4;
  p.history[0] = 1;  // -> h1 = 3, h0 = 4
  p.history[1] = 2;  // -> h2 = 2
  p.history[2] = 5;  // -> h3 = 5
  for (int i = 0; i < 5; ++i) p.weights[i] = i + 1;
  predictor.shared_delta = -3;
  // 800 + 1*4 + 2*3 + 3*2 + 4*5 + 5*(-3) = 821 -> 102; minus delta 10 = 92.
  EXPECT_EQ(predictor.DecodeDelta(0, 10), 92);
  EXPECT_EQ(p.history[0], 4);
  EXPECT_EQ(p.history[1], 3);
  EXPECT_EQ(p.history[2], 2);
  EXPECT_EQ(p.history[3], 5);
}

TEST(DeltaPredictorTest, ChannelsKeepTheirOwnPredictorsButShareTheLastDelta) {
  DeltaPredictor predictor;
  predictor.channels[1].weights[4] = 8;
  EXPECT_EQ(predictor.DecodeDelta(0, 1), 0xFF);  // channel 0: delta -1
  // Channel 1 has no history of its own; w4 x shared delta = -8 -> -1.
  EXPECT_EQ(predictor.DecodeDelta(1, 0), 0xFF);
  EXPECT_EQ(predictor.channels[0].sample_count, 1);
  EXPECT_EQ(predictor.channels[1].sample_count, 1);
  EXPECT_EQ(predictor.channels[1].prev_value, 255);
  EXPECT_EQ(predictor.channels[0].prev_value, -1);
}

TEST(DeltaPredictorTest, ChannelsAdaptOnTheirOwn32ndByte) {
  DeltaPredictor predictor;
  for (int i = 0; i < 63; ++i) predictor.DecodeDelta(i % 2, 2);
  // Channel 0 has had 32 bytes and adapted; channel 1 only 31.
  EXPECT_EQ(predictor.channels[0].sample_count, 32);
  EXPECT_EQ(predictor.channels[1].sample_count, 31);
  EXPECT_EQ(predictor.channels[0].ErrorSum(0), 0u);
  EXPECT_NE(predictor.channels[1].ErrorSum(0), 0u);
}

TEST(DeltaPredictorTest, EncodingIsTheInverseOfDecoding) {
  for (int channels = 1; channels <= 4; ++channels) {
    const auto signal = data::SignalLike(20000, channels, 7);
    const auto noise = data::RandomBytes(5000, 8);
    DeltaPredictor encoder, decoder;
    int ch = 0;
    for (const auto* bytes : {&signal, &noise, &signal}) {
      for (std::uint8_t byte : *bytes) {
        const std::uint8_t delta = encoder.EncodeByte(ch, byte);
        ASSERT_EQ(decoder.DecodeDelta(ch, delta), byte);
        ch = (ch + 1) % channels;
      }
    }
    for (int c = 0; c < channels; ++c) {
      for (int w = 0; w < 5; ++w) {
        EXPECT_EQ(encoder.channels[c].weights[w], decoder.channels[c].weights[w]);
        EXPECT_GE(encoder.channels[c].weights[w], -17);
        EXPECT_LE(encoder.channels[c].weights[w], 16);
      }
    }
  }
}

TEST(DeltaPredictorTest, RunsGiveTheSameDeltasCountsAndStateAsSingleBytes) {
  for (int channels = 1; channels <= 4; ++channels) {
    auto bytes = data::SignalLike(9000, channels, 11, channels == 2);
    data::Append(bytes, data::RandomBytes(700, 12));
    for (int start = 0; start < channels; ++start) {
      DeltaPredictor single, batch;
      std::uint32_t expected_counts[4][257] = {}, counts[4][257] = {};
      std::vector<std::uint8_t> expected(bytes.size()), deltas(bytes.size());
      int ch = start;
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        expected[i] = single.EncodeByte(ch, bytes[i]);
        ++expected_counts[ch][expected[i]];
        ch = (ch + 1) % channels;
      }
      // Two runs, the second continuing where the first stopped.
      const std::size_t half = bytes.size() / 2 + 1;
      const int mid = batch.EncodeRun(channels, start, bytes.data(), half, deltas.data(), counts);
      EXPECT_EQ(mid, static_cast<int>((static_cast<std::size_t>(start) + half) % static_cast<std::size_t>(channels)));
      const int end =
          batch.EncodeRun(channels, mid, bytes.data() + half, bytes.size() - half, deltas.data() + half, counts);
      EXPECT_EQ(end, ch);
      EXPECT_EQ(deltas, expected) << channels << " channels from " << start;
      for (int c = 0; c < 4; ++c) {
        for (int s = 0; s < 257; ++s) ASSERT_EQ(counts[c][s], expected_counts[c][s]) << c << " " << s;
        for (int w = 0; w < 5; ++w) EXPECT_EQ(batch.channels[c].weights[w], single.channels[c].weights[w]);
        EXPECT_EQ(ErrorSums(batch.channels[c]), ErrorSums(single.channels[c]));
        EXPECT_EQ(batch.channels[c].prev_value, single.channels[c].prev_value);
      }
    }
  }
}

TEST(DeltaPredictorTest, SmoothSignalsGiveSmallDeltas) {
  const auto signal = data::SignalLike(30000, 1, 9);
  DeltaPredictor p;
  std::uint64_t small = 0;
  for (std::uint8_t byte : signal) {
    const std::uint8_t d = p.EncodeByte(0, byte);
    if (d < 8 || d > 248) ++small;
  }
  EXPECT_GT(small, signal.size() * 3 / 4);
}

// The decoder runs the SSE2 form where the processor has it and the
// portable one elsewhere (the 32-bit stub on an old processor): both give the
// same bytes and leave the same state, on one to four channels.
TEST(DeltaPredictorTest, PortableAndSse2FormsAgree) {
#if SFX_SSE2_PATH
  if (!UseSse2Predictor()) GTEST_SKIP() << "this processor has no SSE2";
  std::mt19937 random(5);
  for (int channels = 1; channels <= 4; ++channels) {
    DeltaPredictor portable, sse2;
    for (int i = 0; i < 20000; ++i) {
      // Mostly small deltas, as audio gives, with some of any size.
      const auto delta = static_cast<std::uint8_t>(random() % 8 != 0 ? random() % 9 - 4 : random());
      ASSERT_EQ(portable.DecodeDeltaPortable(i % channels, delta), sse2.DecodeDeltaSse2(i % channels, delta)) << i;
    }
    EXPECT_EQ(ModelState(portable), ModelState(sse2)) << channels << " channels";
  }
#else
  GTEST_SKIP() << "no SSE2 form on this processor architecture";
#endif
}

}  // namespace
}  // namespace sfx
