// The decoder's memory of past matches, mirrored by the parsers: the ring of
// the last four distances (every match pushes, whatever its form) and the
// length and distance of the last match for the repeat-previous symbol.
#pragma once

#include <cstdint>

#include "format/stream_format.h"

namespace sfx::encode {

// Recent distances and the previous match, as the decoder keeps them.
struct MatchHistory {
  std::uint32_t ring[kRecentDistances] = {};
  std::uint32_t index = 0;
  std::uint32_t prev_length = 0;
  std::uint32_t prev_distance = 0;

  // k = 0 is the most recent distance; 0 means "none yet".
  std::uint32_t Recent(int k) const { return ring[(index - 1 - static_cast<std::uint32_t>(k)) & 3]; }

  void Push(std::uint32_t length, std::uint32_t distance) {
    ring[index & 3] = distance;
    ++index;
    prev_length = length;
    prev_distance = distance;
  }
};

}  // namespace sfx::encode
