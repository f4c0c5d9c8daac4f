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

constexpr std::int32_t kAdaptPeriodMask = 31;  // adapt on every 32nd byte of a channel
constexpr std::int32_t kLowestWeight = -17;
constexpr std::int32_t kHighestWeight = 16;

std::int32_t SignedByte(std::int32_t value) {
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFF));
}

// Moves the weight whose error sum is smallest and restarts the sums.
void Adapt(Channel& c) {
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

// Predict and Update run for every byte of every multimedia block and of
// every trial the encoder makes, so they are inline: a run of bytes
// compiles into one loop.

// Shifts the channel's history and returns the prediction (0..255).
inline std::int32_t Predict(Channel& c, std::int32_t shared_delta) {
  c.history[3] = c.history[2];
  c.history[2] = c.history[1];
  c.history[1] = c.prev_delta - c.history[0];
  c.history[0] = c.prev_delta;
  const std::int32_t weighted = c.weights[0] * c.history[0] + c.weights[1] * c.history[1] +
                                c.weights[2] * c.history[2] + c.weights[3] * c.history[3] + c.weights[4] * shared_delta;
  // ((8 x prev_value + weighted) >> 3) & 0xFF, with C++20's arithmetic
  // shift (floor division by 8) on negative numbers. 8 x prev_value is a
  // multiple of 8, so this is (prev_value + (weighted >> 3)) & 0xFF.
  return (c.prev_value + (weighted >> 3)) & 0xFF;
}

// Adds the byte's errors to the sums, records its value and adapts on
// every 32nd byte.
inline void Update(Channel& c, std::int32_t& shared_delta, std::int32_t delta, std::int32_t value) {
  const std::int32_t d = SignedByte(delta) * 8;
  // Eight lanes (three with a zero term) so that the compiler can run the
  // sums as vector operations; see Channel::minus.
  const std::int32_t terms[8] = {c.history[0], c.history[1], c.history[2], c.history[3], shared_delta, 0, 0, 0};
  for (int t = 0; t < 8; ++t) {
    c.minus[t] += static_cast<std::uint32_t>(std::abs(d - terms[t]));
    c.plus[t] += static_cast<std::uint32_t>(std::abs(d + terms[t]));
  }
  const std::int32_t change = SignedByte(value - c.prev_value);
  c.prev_delta = change;
  shared_delta = change;
  c.prev_value = value;
  if ((c.sample_count & kAdaptPeriodMask) == 0) Adapt(c);
}

}  // namespace

std::uint8_t DeltaPredictor::DecodeDelta(int channel, std::uint8_t delta) {
  Channel& c = channels[channel];
  ++c.sample_count;
  const std::int32_t value = Predict(c, shared_delta) - delta;
  Update(c, shared_delta, delta, value);
  return static_cast<std::uint8_t>(value & 0xFF);
}

std::uint8_t DeltaPredictor::EncodeByte(int channel, std::uint8_t byte) {
  Channel& c = channels[channel];
  ++c.sample_count;
  const std::int32_t prediction = Predict(c, shared_delta);
  const std::int32_t delta = (prediction - byte) & 0xFF;
  Update(c, shared_delta, delta, prediction - delta);
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
