// The multimedia predictor, run on the encoder's side.
//
// In a multimedia block every byte is sent as a delta: the difference between
// a prediction and the real byte. Bytes are dealt in turn to 1..4 channels,
// each with an adaptive linear predictor over its last deltas and the delta
// of the byte just before (of any channel). The decoder updates the model
// with every byte it produces, so the encoder must run exactly the same
// arithmetic to know which delta makes the decoder produce a given byte.
#pragma once

#include <cstddef>
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

  // EncodeByte over `n` bytes dealt to `channels` channels from `channel`
  // on: writes the deltas to `deltas`, adds them to counts[channel][delta]
  // and returns the channel of the byte after the last.
  int EncodeRun(int channels, int channel, const std::uint8_t* bytes, std::size_t n, std::uint8_t* deltas,
                std::uint32_t (*counts)[257]);

  // Read access for tests.
  int Weight(int channel, int index) const { return channels_[channel].weights[index]; }
  int PreviousValue(int channel) const { return channels_[channel].prev_value; }
  int PreviousDelta(int channel) const { return channels_[channel].prev_delta; }
  // Error sum `index` 0..10 in the model's order: |D|, then |D − term|,
  // |D + term| for each of the five terms.
  std::uint32_t ErrorSum(int channel, int index) const { return channels_[channel].ErrorSum(index); }

 private:
  struct Channel {
    std::int32_t weights[5] = {};
    std::int32_t history[4] = {};
    std::int32_t prev_delta = 0;
    // The eleven error sums, laid out for eight-lane loops: minus[t] and
    // plus[t] collect |D − term t| and |D + term t| for t = 0..4; lane 5 has
    // a zero term, so minus[5] is the sum of |D|. Lanes 6 and 7 are unused.
    std::uint32_t minus[8] = {};
    std::uint32_t plus[8] = {};
    std::uint32_t ErrorSum(int index) const { return index == 0 ? minus[5] : index % 2 == 1 ? minus[(index - 1) / 2] : plus[(index - 2) / 2]; }
    std::uint32_t sample_count = 0;
    std::int32_t prev_value = 0;
    std::int32_t prev_byte = 0;  // prev_value & 0xFF
  };

  // Shifts the history and returns the prediction (0..255).
  static std::int32_t Predict(Channel& c, std::int32_t shared_delta);
  // Updates sums, deltas and weights after the byte's `delta` and `value`
  // (`byte` = value & 0xFF).
  void Update(Channel& c, std::int32_t delta, std::int32_t value, std::int32_t byte);
  // Moves the weight whose error sum is smallest and restarts the sums.
  static void Adapt(Channel& c);

  Channel channels_[4];
  std::int32_t shared_delta_ = 0;
};

}  // namespace sfx::encode
