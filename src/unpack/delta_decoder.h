// Multimedia delta decoding: each byte is coded as the difference between a
// prediction and the real value. Bytes are dealt in turn to 1 to 4 channels,
// each with an adaptive linear predictor over its recent deltas and the
// delta of the byte just before (of any channel). Every 32nd byte of a
// channel, the weight whose +1 or -1 change would have given the smallest
// summed error over those 32 bytes is moved one step.
#pragma once

#include <cstdint>

namespace sfx {

struct UnpackState;

// Adaptive predictor state of one multimedia channel.
struct ChannelPredictor {
  std::int32_t weights[5] = {};   // w0..w4, each -17..16
  std::int32_t history[4] = {};   // h0: previous delta; h1..h3: changes between deltas
  std::int32_t prev_delta = 0;    // signed 8-bit difference of the last two values
  std::uint32_t error_sums[11] = {};
  std::int32_t sample_count = 0;
  std::int32_t prev_value = 0;    // last value, -255..255, not reduced to a byte
};

// Turns a delta symbol (0..255) into the next output byte of the current
// channel, updating that channel's predictor and the shared delta.
std::uint8_t DecodeDeltaByte(UnpackState& state, std::uint32_t delta);

}  // namespace sfx
