// The multimedia delta predictor: the one model that the decoder runs to
// turn deltas into bytes and the encoder runs to turn bytes into deltas.
//
// In a multimedia block every byte is sent as a delta: the difference
// between a prediction and the real byte. Bytes are dealt in turn to 1 to
// kMaxChannels channels, each with an adaptive linear predictor over its
// recent deltas and the delta of the byte just before (of any channel).
// Every 32nd byte of a channel, the weight whose step down or up would have
// given the smallest summed error over those 32 bytes moves that step.
// DecodeDelta and EncodeByte advance the model in exactly the same way, so
// an encoder and a decoder that start alike stay alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/stream_format.h"

namespace sfx {

// The predictors of all channels and the delta they share.
struct DeltaPredictor {
  static constexpr int kWeights = 5;
  static constexpr int kErrorSums = 2 * kWeights + 1;

  // Adaptive predictor state of one channel.
  struct Channel {
    std::int32_t weights[kWeights] = {};  // w0..w4, each -17..16
    std::int32_t history[4] = {};         // h0: previous delta; h1..h3: changes between deltas
    std::int32_t prev_delta = 0;          // signed 8-bit difference of the last two values
    std::int32_t sample_count = 0;
    std::int32_t prev_value = 0;  // last value, -255..255, not reduced to a byte
    // The error sums, laid out for eight-lane loops: minus[t] and plus[t]
    // collect |D - term t| and |D + term t| for the terms h0..h3 and the
    // shared delta (t = 0..4); lane 5 has a zero term, so minus[5] is the
    // sum of |D|. Lanes 6 and 7 are unused.
    std::uint32_t minus[8] = {};
    std::uint32_t plus[8] = {};

    // Error sum `index` 0..10 in the model's order: |D|, then |D - term|
    // and |D + term| for each term in turn (weight (index - 1) / 2 steps
    // down for odd, up for even indexes).
    std::uint32_t& ErrorSum(int index) {
      return index == 0 ? minus[5] : index % 2 == 1 ? minus[(index - 1) / 2] : plus[(index - 2) / 2];
    }
    std::uint32_t ErrorSum(int index) const {
      return index == 0 ? minus[5] : index % 2 == 1 ? minus[(index - 1) / 2] : plus[(index - 2) / 2];
    }
  };

  // The byte that `delta` (0..255) gives on `channel`; advances the model.
  std::uint8_t DecodeDelta(int channel, std::uint8_t delta);

  // The delta that makes DecodeDelta give `byte` on `channel`; advances the
  // model exactly as that DecodeDelta does.
  std::uint8_t EncodeByte(int channel, std::uint8_t byte);

  // EncodeByte over `n` bytes dealt to `channel_count` channels from
  // `channel` on: writes the deltas to `deltas`, adds them to
  // counts[channel][delta] and returns the channel of the byte after the last.
  int EncodeRun(int channel_count, int channel, const std::uint8_t* bytes, std::size_t n, std::uint8_t* deltas,
                std::uint32_t (*counts)[kChannelSymbols]);

  Channel channels[kMaxChannels];
  std::int32_t shared_delta = 0;
};

}  // namespace sfx
