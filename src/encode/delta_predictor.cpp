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

std::int32_t DeltaPredictor::Predict(Channel& c, std::int32_t shared_delta) {
  c.history[3] = c.history[2];
  c.history[2] = c.history[1];
  c.history[1] = c.prev_delta - c.history[0];
  c.history[0] = c.prev_delta;
  const std::int32_t sum = 8 * c.prev_value + c.weights[0] * c.history[0] + c.weights[1] * c.history[1] +
                           c.weights[2] * c.history[2] + c.weights[3] * c.history[3] + c.weights[4] * shared_delta;
  // Arithmetic shift (floor division by 8), written as a division that
  // rounds down so that it does not depend on the compiler's shift of
  // negative numbers.
  const std::int32_t floor_div = sum >= 0 ? sum / 8 : -((-sum + 7) / 8);
  return floor_div & 0xFF;
}

void DeltaPredictor::Update(Channel& c, std::int32_t delta, std::int32_t value) {
  const std::int32_t d = static_cast<std::int32_t>(static_cast<std::int8_t>(static_cast<std::uint8_t>(delta))) * 8;
  const std::int32_t terms[5] = {c.history[0], c.history[1], c.history[2], c.history[3], shared_delta_};
  c.error_sums[0] += static_cast<std::uint32_t>(std::abs(d));
  for (int t = 0; t < 5; ++t) {
    c.error_sums[1 + 2 * t] += static_cast<std::uint32_t>(std::abs(d - terms[t]));
    c.error_sums[2 + 2 * t] += static_cast<std::uint32_t>(std::abs(d + terms[t]));
  }
  const std::int32_t change = static_cast<std::int8_t>(static_cast<std::uint8_t>((value - c.prev_value) & 0xFF));
  c.prev_delta = change;
  shared_delta_ = change;
  c.prev_value = value;
  if ((c.sample_count & 31) == 0) {
    int best = 0;
    for (int i = 1; i < 11; ++i) {
      if (c.error_sums[i] < c.error_sums[best]) best = i;
    }
    for (std::uint32_t& e : c.error_sums) e = 0;
    if (best > 0) {
      std::int32_t& w = c.weights[(best - 1) / 2];
      if (best % 2 == 1) {
        if (w >= -16) --w;  // a weight may fall to −17
      } else {
        if (w < 16) ++w;
      }
    }
  }
}

std::uint8_t DeltaPredictor::EncodeByte(int channel, std::uint8_t byte) {
  Channel& c = channels_[channel];
  ++c.sample_count;
  const std::int32_t prediction = Predict(c, shared_delta_);
  const std::int32_t delta = (prediction - byte) & 0xFF;
  Update(c, delta, prediction - delta);
  return static_cast<std::uint8_t>(delta);
}

std::uint8_t DeltaPredictor::DecodeDelta(int channel, std::uint8_t delta) {
  Channel& c = channels_[channel];
  ++c.sample_count;
  const std::int32_t prediction = Predict(c, shared_delta_);
  const std::int32_t value = prediction - delta;
  Update(c, delta, value);
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace sfx::encode
