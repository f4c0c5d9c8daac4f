// Multimedia predictor arithmetic (see delta_predictor.h).
//
// Per byte: shift the channel's history of deltas (h0 = last delta, h1..h3
// its successive changes); predict 8 × previous value plus the weighted
// history and shared delta, divided by 8 with an arithmetic shift and cut to
// a byte; the value is prediction − delta (kept as a full number −255..255).
// Eleven sums collect |D ± term| for the candidate weight moves (D = delta as
// a signed byte × 8); every 32nd byte of a channel the smallest sum (first
// one on ties) moves its weight by one step and all sums restart.
#include "encode/delta_predictor.h"

#include <cstdlib>

namespace sfx::encode {

// Predict, Update and the byte step are written inline so that a run of
// bytes compiles into one loop; the encoder calls them for every byte of
// every multimedia trial.
inline std::int32_t DeltaPredictor::Predict(Channel& c, std::int32_t shared_delta) {
  c.history[3] = c.history[2];
  c.history[2] = c.history[1];
  c.history[1] = c.prev_delta - c.history[0];
  c.history[0] = c.prev_delta;
  const std::int32_t weighted = c.weights[0] * c.history[0] + c.weights[1] * c.history[1] + c.weights[2] * c.history[2] +
                                c.weights[3] * c.history[3] + c.weights[4] * shared_delta;
  // The model's prediction is ((8 × previous value + weighted) >> 3) & 0xFF
  // with an arithmetic shift (floor division by 8, which C++20's >> is on
  // negative numbers). 8 × value is a multiple of 8, so this equals
  // (value + (weighted >> 3)) & 0xFF, and only the value's low byte, the
  // previous byte of the channel, matters. Using the byte rather than the
  // value keeps each prediction from waiting for the one before.
  return (c.prev_byte + (weighted >> 3)) & 0xFF;
}

void DeltaPredictor::Adapt(Channel& c) {
  int best = 0;
  std::uint32_t best_sum = c.ErrorSum(0);
  for (int i = 1; i < 11; ++i) {
    const std::uint32_t sum = c.ErrorSum(i);
    if (sum < best_sum) {
      best = i;
      best_sum = sum;
    }
  }
  for (int k = 0; k < 8; ++k) c.minus[k] = c.plus[k] = 0;
  if (best > 0) {
    std::int32_t& w = c.weights[(best - 1) / 2];
    if (best % 2 == 1) {
      if (w >= -16) --w;  // a weight may fall to −17
    } else {
      if (w < 16) ++w;
    }
  }
}

inline void DeltaPredictor::Update(Channel& c, std::int32_t delta, std::int32_t value, std::int32_t byte) {
  const std::int32_t d = static_cast<std::int32_t>(static_cast<std::int8_t>(static_cast<std::uint8_t>(delta))) * 8;
  // Eight lanes (three with a zero term) so that the compiler can run the
  // sums as vector operations; see Channel::minus.
  const std::int32_t terms[8] = {c.history[0], c.history[1], c.history[2], c.history[3], shared_delta_, 0, 0, 0};
  for (int t = 0; t < 8; ++t) {
    c.minus[t] += static_cast<std::uint32_t>(std::abs(d - terms[t]));
    c.plus[t] += static_cast<std::uint32_t>(std::abs(d + terms[t]));
  }
  // (value − previous value) & 0xFF depends on the low bytes only.
  const std::int32_t change = static_cast<std::int8_t>(static_cast<std::uint8_t>((byte - c.prev_byte) & 0xFF));
  c.prev_delta = change;
  shared_delta_ = change;
  c.prev_value = value;
  c.prev_byte = byte;
  if ((c.sample_count & 31) == 0) Adapt(c);
}

std::uint8_t DeltaPredictor::EncodeByte(int channel, std::uint8_t byte) {
  Channel& c = channels_[channel];
  ++c.sample_count;
  const std::int32_t prediction = Predict(c, shared_delta_);
  const std::int32_t delta = (prediction - byte) & 0xFF;
  Update(c, delta, prediction - delta, byte);
  return static_cast<std::uint8_t>(delta);
}

std::uint8_t DeltaPredictor::DecodeDelta(int channel, std::uint8_t delta) {
  Channel& c = channels_[channel];
  ++c.sample_count;
  const std::int32_t prediction = Predict(c, shared_delta_);
  const std::int32_t value = prediction - delta;
  Update(c, delta, value, value & 0xFF);
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace sfx::encode

namespace sfx::encode {

int DeltaPredictor::EncodeRun(int channels, int channel, const std::uint8_t* bytes, std::size_t n, std::uint8_t* deltas,
                              std::uint32_t (*counts)[257]) {
  const int first_channel = channel;
  for (std::size_t i = 0; i < n; ++i) {
    deltas[i] = EncodeByte(channel, bytes[i]);
    if (++channel == channels) channel = 0;
  }
  // Counted in a pass of its own: stores into the counts could alias the
  // model and slow down the loop above.
  channel = first_channel;
  for (std::size_t i = 0; i < n; ++i) {
    ++counts[channel][deltas[i]];
    if (++channel == channels) channel = 0;
  }
  return channel;
}

}  // namespace sfx::encode
