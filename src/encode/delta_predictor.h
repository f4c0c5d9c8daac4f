// The multimedia predictor, run on the encoder's side.
//
// In a multimedia block every byte is sent as a delta: the difference between
// a prediction and the real byte. Bytes are dealt in turn to 1..4 channels,
// each with an adaptive linear predictor over its last deltas and the delta
// of the byte just before (of any channel). The decoder updates the model
// with every byte it produces, so the encoder must run exactly the same
// arithmetic to know which delta makes the decoder produce a given byte.
#pragma once

#include <cstdint>

namespace sfx::encode {

// The four channel predictors and the shared delta, as the decoder holds them.
class DeltaPredictor {
 public:
  // The delta (0..255) that makes the decoder produce `byte` on `channel`,
  // and the model advanced exactly as the decoder advances it.
  std::uint8_t EncodeByte(int channel, std::uint8_t byte);

  // The byte the decoder produces for `delta` on `channel` (for tests and
  // for checking the model against the decoder).
  std::uint8_t DecodeDelta(int channel, std::uint8_t delta);

  // Read access for tests.
  int Weight(int channel, int index) const { return channels_[channel].weights[index]; }
  int PreviousValue(int channel) const { return channels_[channel].prev_value; }
  int PreviousDelta(int channel) const { return channels_[channel].prev_delta; }
  std::uint32_t ErrorSum(int channel, int index) const { return channels_[channel].error_sums[index]; }

 private:
  struct Channel {
    std::int32_t weights[5] = {};
    std::int32_t history[4] = {};
    std::int32_t prev_delta = 0;
    std::uint32_t error_sums[11] = {};
    std::uint32_t sample_count = 0;
    std::int32_t prev_value = 0;
  };

  // Shifts the history and returns the prediction (0..255).
  static std::int32_t Predict(Channel& c, std::int32_t shared_delta);
  // Updates sums, deltas and weights after the byte's `delta` and `value`.
  void Update(Channel& c, std::int32_t delta, std::int32_t value);

  Channel channels_[4];
  std::int32_t shared_delta_ = 0;
};

}  // namespace sfx::encode
