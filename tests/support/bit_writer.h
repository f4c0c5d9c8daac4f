// Test-only MSB-first bit writer: builds compressed streams bit by bit.
//
// Bits are appended most significant first, the way the decoder's bit
// input reads them; the last byte is padded with zero bits.
#pragma once

#include <cstdint>
#include <vector>

namespace sfx::test {

// Appends fields of 0 to 32 bits, most significant bit first.
class BitWriter {
 public:
  // Appends the low `count` bits of `value`, highest of them first.
  void Put(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) PutBit((value >> i) & 1u);
  }

  void PutBit(std::uint32_t bit) {
    if (bit_count_ % 8 == 0) bytes_.push_back(0);
    if (bit != 0) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> (bit_count_ % 8));
    ++bit_count_;
  }

  // Pads with zero bits up to the next byte boundary (a no-op when aligned).
  void AlignToByte() { bit_count_ = bytes_.size() * 8; }

  std::size_t bit_count() const { return bit_count_; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t bit_count_ = 0;
};

}  // namespace sfx::test
