// Multimedia delta decoder: an adaptive linear predictor per channel.
//
// The prediction is 8 * previous value plus the weighted history terms and
// the shared delta, divided by 8 with floor (arithmetic shift) and reduced
// to a byte; the output is prediction - delta. For each byte the absolute
// error of eleven candidate predictors (no change, and each weight one step
// down or up) is accumulated; every 32nd byte of the channel the smallest
// sum (first one on ties) picks the weight change, and the sums restart.
// Weights can fall to -17 but rise only to 16.
#include "unpack/delta_decoder.h"

#include <cstdlib>

#include "unpack/unpack_state.h"

namespace sfx {

namespace {

constexpr int kWeightCount = 5;
constexpr int kErrorSumCount = 11;

inline std::uint32_t AbsoluteError(std::int32_t value) {
  return static_cast<std::uint32_t>(std::abs(value));
}

inline std::int32_t SignedByte(std::int32_t value) {
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFF));
}

// Moves one weight a step according to the winning error sum.
void AdaptWeights(ChannelPredictor& p) {
  int best = 0;
  std::uint32_t best_sum = p.error_sums[0];
  for (int i = 1; i < kErrorSumCount; ++i) {
    if (p.error_sums[i] < best_sum) {
      best_sum = p.error_sums[i];
      best = i;
    }
  }
  for (auto& sum : p.error_sums) sum = 0;
  if (best == 0) return;
  std::int32_t& weight = p.weights[(best - 1) / 2];
  if (best % 2 == 1) {
    if (weight >= -16) --weight;
  } else {
    if (weight < 16) ++weight;
  }
}

}  // namespace

std::uint8_t DecodeDeltaByte(UnpackState& state, std::uint32_t delta) {
  ChannelPredictor& p = state.channel_predictors[state.current_channel];
  std::int32_t* h = p.history;
  const std::int32_t* w = p.weights;
  p.sample_count += 1;

  h[3] = h[2];
  h[2] = h[1];
  h[1] = p.prev_delta - h[0];
  h[0] = p.prev_delta;

  const std::int32_t shared = state.shared_delta;
  std::int32_t prediction =
      8 * p.prev_value + w[0] * h[0] + w[1] * h[1] + w[2] * h[2] + w[3] * h[3] + w[4] * shared;
  // Arithmetic shift (floor division by 8), well defined for negatives in C++20.
  prediction = (prediction >> 3) & 0xFF;

  const std::int32_t value = prediction - static_cast<std::int32_t>(delta);

  const std::int32_t d = SignedByte(static_cast<std::int32_t>(delta)) * 8;
  std::uint32_t* e = p.error_sums;
  e[0] += AbsoluteError(d);
  e[1] += AbsoluteError(d - h[0]);
  e[2] += AbsoluteError(d + h[0]);
  e[3] += AbsoluteError(d - h[1]);
  e[4] += AbsoluteError(d + h[1]);
  e[5] += AbsoluteError(d - h[2]);
  e[6] += AbsoluteError(d + h[2]);
  e[7] += AbsoluteError(d - h[3]);
  e[8] += AbsoluteError(d + h[3]);
  e[9] += AbsoluteError(d - shared);
  e[10] += AbsoluteError(d + shared);

  const std::int32_t new_delta = SignedByte(value - p.prev_value);
  p.prev_delta = new_delta;
  state.shared_delta = new_delta;
  p.prev_value = value;

  if ((p.sample_count & 31) == 0) AdaptWeights(p);
  static_assert(kWeightCount * 2 + 1 == kErrorSumCount, "one sum pair per weight plus the unchanged one");
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace sfx
