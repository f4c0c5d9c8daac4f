// Appends bit fields to a byte vector, most significant bit first, which is
// the order in which the decoder's 16-bit peeks read the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sfx::encode {

// MSB-first bit sink over a growing byte vector.
class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  // Appends the low `count` bits of `value` (count 0..32), highest first.
  void Put(std::uint32_t value, int count) {
    if (count == 0) return;
    acc_ = (acc_ << count) | (value & (count == 32 ? 0xFFFFFFFFu : ((1u << count) - 1)));
    pending_ += count;
    // Whole 32-bit words go out at once; at most 31 bits stay pending, so
    // the next Put still fits the 64-bit accumulator.
    if (pending_ >= 32) {
      pending_ -= 32;
      const std::uint32_t word = static_cast<std::uint32_t>(acc_ >> pending_);
      const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
                                     static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
      out_.insert(out_.end(), bytes, bytes + 4);
    }
  }

  // Stores the pending bits, the last partial byte padded with zero bits.
  void Flush() {
    while (pending_ >= 8) {
      pending_ -= 8;
      out_.push_back(static_cast<std::uint8_t>(acc_ >> pending_));
    }
    if (pending_ > 0) {
      out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - pending_)));
      pending_ = 0;
    }
    acc_ = 0;
  }

  // Bits written so far, including those not yet stored as a byte.
  std::uint64_t BitCount() const {
    return static_cast<std::uint64_t>(out_.size()) * 8 + static_cast<std::uint64_t>(pending_);
  }

 private:
  std::vector<std::uint8_t>& out_;
  std::uint64_t acc_ = 0;  // only the low `pending_` bits are meaningful
  int pending_ = 0;        // 0..31 between calls
};

}  // namespace sfx::encode
