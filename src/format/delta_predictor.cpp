// The multimedia delta predictor (see delta_predictor.h).
//
// Per byte: shift the channel's history (h0 = the previous delta, h1..h3
// its successive changes); predict 8 x the previous value plus the weights
// times h0..h3 and the shared delta, divided by 8 with floor (arithmetic
// shift) and reduced to a byte; the value is prediction - delta, kept as a
// full number -255..255. The eleven error sums collect |D| and |D -/+ term|
// for the five terms, D being the delta as a signed byte times 8. Every
// 32nd byte of a channel the smallest sum (the first one on ties) moves its
// weight one step and all sums restart. Weights can fall to -17 but rise
// only to 16.
#include "format/delta_predictor.h"

#include <cstdlib>

namespace sfx {

namespace {

using Channel = DeltaPredictor::Channel;

bool portable_forced = false;

constexpr std::int32_t kLowestWeight = -17;
constexpr std::int32_t kHighestWeight = 16;

}  // namespace

bool UseSse2Predictor() {
  if (portable_forced) return false;
#if SFX_SSE2_PATH && defined(__SSE2__)
  return true;
#elif SFX_SSE2_PATH
  return __builtin_cpu_supports("sse2") != 0;
#else
  return false;
#endif
}

void ForcePortablePredictor(bool force) { portable_forced = force; }

// Moves the weight whose error sum is smallest and restarts the sums.
void DeltaPredictor::Adapt(Channel& c) {
  int best = 0;
  std::uint32_t best_sum = c.ErrorSum(0);
  for (int i = 1; i < DeltaPredictor::kErrorSums; ++i) {
    const std::uint32_t sum = c.ErrorSum(i);
    if (sum < best_sum) {
      best = i;
      best_sum = sum;
    }
  }
  for (int lane = 0; lane < 8; ++lane) c.minus[lane] = c.plus[lane] = 0;
  if (best == 0) return;
  std::int32_t& weight = c.weights[(best - 1) / 2];
  if (best % 2 == 1) {
    if (weight > kLowestWeight) --weight;
  } else {
    if (weight < kHighestWeight) ++weight;
  }
}

std::uint8_t DeltaPredictor::EncodeByte(int channel, std::uint8_t byte) {
  Channel& c = channels[channel];
  ++c.sample_count;
  const std::int32_t prediction = Predict(c, shared_delta);
  const std::int32_t delta = (prediction - byte) & 0xFF;
  const std::int32_t value = prediction - delta;
  Update<kAssumeSse2>(c, shared_delta, delta, value, ByteChange(value - c.prev_value));
  return static_cast<std::uint8_t>(delta);
}

int DeltaPredictor::EncodeRun(int channel_count, int channel, const std::uint8_t* bytes, std::size_t n,
                              std::uint8_t* deltas, std::uint32_t (*counts)[kChannelSymbols]) {
  const int first_channel = channel;
  for (std::size_t i = 0; i < n; ++i) {
    deltas[i] = EncodeByte(channel, bytes[i]);
    if (++channel == channel_count) channel = 0;
  }
  // Counted in a pass of its own: stores into the counts could alias the
  // model and slow down the loop above.
  channel = first_channel;
  for (std::size_t i = 0; i < n; ++i) {
    ++counts[channel][deltas[i]];
    if (++channel == channel_count) channel = 0;
  }
  return channel;
}

}  // namespace sfx
