// Test-only builder of compressed payload streams.
//
// Streams are written symbol by symbol with canonical codes computed here
// independently of the decoder (codes of one length are consecutive, in
// symbol order, and the first code of each length follows the last code of
// the shorter ones, shifted left). Block headers and code lengths are
// written in the stream's own layout, with the tables of
// format/stream_format.h. decode_stream.h stores and decodes the result.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "format/stream_format.h"
#include "support/bit_writer.h"
#include "support/decode_stream.h"

namespace sfx::test {

using Lengths = std::vector<std::uint8_t>;

// Canonical code of every symbol of a length set (0 for uncoded symbols).
inline std::vector<std::uint32_t> CanonicalCodes(const Lengths& lengths) {
  std::vector<std::uint32_t> codes(lengths.size(), 0);
  std::uint32_t code = 0;
  for (int length = 1; length <= 15; ++length) {
    for (std::size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] == length) codes[s] = code++;
    }
    code <<= 1;
  }
  return codes;
}

// Writes blocks and symbols of a compressed stream.
class StreamBuilder {
 public:
  // The default LZ code: every literal-table symbol 9 bits (code = symbol),
  // every distance symbol 6 bits, every repeat-table symbol 5 bits.
  static Lengths DefaultLiteralLengths() { return Lengths(298, 9); }
  static Lengths DefaultDistanceLengths() { return Lengths(48, 6); }
  static Lengths DefaultRepeatLengths() { return Lengths(28, 5); }

  // Code-length code in which the values 0..15 are 4-bit codes equal to the
  // value and the run codes 16..18 are absent.
  static Lengths PlainBitLengths() {
    Lengths l(19, 0);
    for (int i = 0; i < 16; ++i) l[i] = 4;
    return l;
  }
  // Code-length code in which all 19 symbols are 5-bit codes equal to the symbol.
  static Lengths RunBitLengths() { return Lengths(19, 5); }

  // One entry of the code-length loop: a symbol of the code-length code and
  // its extra bits.
  struct LengthItem {
    std::uint32_t symbol;
    std::uint32_t extra = 0;
    int extra_bits = 0;
  };

  // Writes a block header, the code-length code and the given items.
  void TableBlock(bool multimedia, int channels, bool keep, const Lengths& bit_lengths,
                  const std::vector<LengthItem>& items) {
    w.Put(multimedia ? 1 : 0, 1);
    w.Put(keep ? 1 : 0, 1);
    if (multimedia) w.Put(static_cast<std::uint32_t>(channels - 1), 2);
    for (std::uint8_t l : bit_lengths) w.Put(l, 4);
    const auto codes = CanonicalCodes(bit_lengths);
    for (const auto& item : items) {
      w.Put(codes.at(item.symbol), bit_lengths.at(item.symbol));
      if (item.extra_bits != 0) w.Put(item.extra, item.extra_bits);
    }
  }

  // Absolute (or, with `previous`, difference) lengths written one by one
  // with the plain code-length code.
  static std::vector<LengthItem> PlainItems(const Lengths& lengths, const Lengths* previous = nullptr) {
    std::vector<LengthItem> items;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      const std::uint32_t prev = previous != nullptr ? (*previous)[i] : 0;
      items.push_back({(lengths[i] - prev) & 15u});
    }
    return items;
  }

  // An LZ block with absolute lengths; remembers them for the symbol writers.
  void LzTables(const Lengths& literal = DefaultLiteralLengths(), const Lengths& distance = DefaultDistanceLengths(),
                const Lengths& repeat = DefaultRepeatLengths()) {
    Lengths all(literal);
    all.insert(all.end(), distance.begin(), distance.end());
    all.insert(all.end(), repeat.begin(), repeat.end());
    TableBlock(false, 1, false, PlainBitLengths(), PlainItems(all));
    literal_ = literal;
    distance_ = distance;
    repeat_ = repeat;
  }

  // A multimedia block with absolute lengths for `channels` channels, every
  // channel coded with `lengths` (257 entries).
  void MultimediaTables(int channels, const Lengths& lengths = Lengths(257, 9)) {
    Lengths all;
    for (int j = 0; j < channels; ++j) all.insert(all.end(), lengths.begin(), lengths.end());
    TableBlock(true, channels, false, PlainBitLengths(), PlainItems(all));
    channel_ = lengths;
  }

  void Literal(std::uint32_t symbol) { PutSymbol(literal_, symbol); }
  void Distance(std::uint32_t symbol) { PutSymbol(distance_, symbol); }
  void Repeat(std::uint32_t symbol) { PutSymbol(repeat_, symbol); }
  void Channel(std::uint32_t symbol) { PutSymbol(channel_, symbol); }
  void Bits(std::uint32_t value, int count) { w.Put(value, count); }

  // A long match (symbols 270..297) that decodes to exactly `length` bytes
  // at `distance` (1..0x100000), the distance adjustments included.
  void LongMatch(std::uint32_t length, std::uint32_t distance) {
    std::uint32_t sent = length - LongLengthBonus(distance) - kLongMatchBase;
    const std::uint32_t c = LengthCode(sent);
    Literal(kSymbolFirstLong + c);
    if (kLengthBits[c] != 0) Bits(sent - kLengthBase[c], kLengthBits[c]);
    const std::uint32_t d = DistanceCode(distance - 1);
    Distance(d);
    if (kDistanceBits[d] != 0) Bits(distance - 1 - kDistanceBase[d], kDistanceBits[d]);
  }

  // A ring match (257..260) with `length` bytes before adjustments, from the
  // given length code's base plus extra bits.
  void RingMatch(int recent, std::uint32_t sent_length) {
    const std::uint32_t c = LengthCode(sent_length - kRecentMatchBase);
    Literal(256 + static_cast<std::uint32_t>(recent));
    Repeat(c);
    if (kLengthBits[c] != 0) Bits(sent_length - kRecentMatchBase - kLengthBase[c], kLengthBits[c]);
  }

  // A short match (261..268) of two bytes at `distance` (1..256).
  void ShortMatch(std::uint32_t distance) {
    std::uint32_t c = kShortCodes - 1;
    while (kShortBase[c] > distance - 1) --c;
    Literal(kSymbolFirstShort + c);
    Bits(distance - 1 - kShortBase[c], kShortBits[c]);
  }

  Bytes Finish() {
    w.AlignToByte();
    return w.bytes();
  }

  BitWriter w;

 private:
  static std::uint32_t LengthCode(std::uint32_t value) {
    std::uint32_t c = kLengthCodes - 1;
    while (kLengthBase[c] > value) --c;
    if (value - kLengthBase[c] >= (1u << kLengthBits[c])) throw std::logic_error("length out of range");
    return c;
  }
  static std::uint32_t DistanceCode(std::uint32_t value) {
    std::uint32_t d = kDistanceCodes - 1;
    while (kDistanceBase[d] > value) --d;
    return d;
  }
  // A code's lengths with their canonical codes, computed once.
  struct Code {
    Code(const Lengths& l) : lengths(l), codes(CanonicalCodes(l)) {}  // NOLINT: implicit on purpose
    Lengths lengths;
    std::vector<std::uint32_t> codes;
  };

  void PutSymbol(const Code& code, std::uint32_t symbol) {
    if (code.lengths.at(symbol) == 0) throw std::logic_error("symbol has no code");
    w.Put(code.codes[symbol], code.lengths[symbol]);
  }

  Code literal_ = DefaultLiteralLengths();
  Code distance_ = DefaultDistanceLengths();
  Code repeat_ = DefaultRepeatLengths();
  Code channel_ = Lengths(257, 9);
};

}  // namespace sfx::test
