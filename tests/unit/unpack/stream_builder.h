// Test-only builder of compressed payload streams.
//
// Streams are written symbol by symbol with canonical codes computed here
// independently of the decoder (codes of one length are consecutive, in
// symbol order, and the first code of each length follows the last code of
// the shorter ones, shifted left). Block headers and code lengths are
// written in the stream's own layout. Scramble() turns a plain stream into
// its stored form with the payload seed, and Decode() runs the public entry.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "common/byte_order.h"
#include "format/scramble_key.h"
#include "support/bit_writer.h"
#include "unpack/unpack.h"

namespace sfx::test {

using Bytes = std::vector<std::uint8_t>;
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

// Stores a plain stream the way the installer carries it: little-endian
// words XORed with a key chain that starts at the payload seed; a final
// partial word is scrambled with the low bytes of its key.
inline Bytes Scramble(const Bytes& plain, std::uint32_t key = kPayloadSeed) {
  Bytes stored(plain.size());
  for (std::size_t i = 0; i < plain.size(); i += 4) {
    std::uint8_t word[4] = {};
    const std::size_t n = plain.size() - i < 4 ? plain.size() - i : 4;
    for (std::size_t j = 0; j < n; ++j) word[j] = plain[i + j];
    const std::uint32_t s = LoadLE32(word) ^ key;
    key = NextScrambleKey(s);
    StoreLE32(word, s);
    for (std::size_t j = 0; j < n; ++j) stored[i + j] = word[j];
  }
  return stored;
}

// Result of one decode through the public entry.
struct DecodeResult {
  bool status = false;  // what UnpackPayload returned
  Bytes output;
  std::vector<std::uint32_t> reports;  // every progress report, in order
};

inline void RecordProgress(void* context, std::uint32_t bytes) {
  static_cast<std::vector<std::uint32_t>*>(context)->push_back(bytes);
}

// Decodes a stored stream into a buffer of `out_size` bytes, pre-filled with
// `fill` so that bytes the decoder never wrote are visible.
inline DecodeResult DecodeStored(const Bytes& stored, std::size_t out_size, std::uint8_t fill = 0xEE) {
  DecodeResult result;
  result.output.assign(out_size, fill);
  auto state = NewUnpackState();
  if (!state) throw std::runtime_error("no memory for the decoder state");
  SetProgressSink(*state, RecordProgress, &result.reports);
  // Copies keep the stream exactly its own size, so any read past its end
  // is caught by the address sanitizer.
  std::vector<std::uint8_t> stream(stored);
  result.status = UnpackPayload(*state, stream.data(), stream.data() + stream.size(), result.output.data(),
                                result.output.data() + result.output.size());
  return result;
}

inline DecodeResult DecodePlain(const Bytes& plain, std::size_t out_size, std::uint8_t fill = 0xEE) {
  return DecodeStored(Scramble(plain), out_size, fill);
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
    std::uint32_t sent = length - (distance >= 0x2000 ? 1 : 0) - (distance >= 0x40000 ? 1 : 0) - 3;
    const std::uint32_t c = LengthCode(sent);
    Literal(270 + c);
    if (kLengthBits[c] != 0) Bits(sent - kLengthBase[c], kLengthBits[c]);
    const std::uint32_t d = DistanceCode(distance - 1);
    Distance(d);
    if (kDistanceBits[d] != 0) Bits(distance - 1 - kDistanceBase[d], kDistanceBits[d]);
  }

  // A ring match (257..260) with `length` bytes before adjustments, from the
  // given length code's base plus extra bits.
  void RingMatch(int recent, std::uint32_t sent_length) {
    const std::uint32_t c = LengthCode(sent_length - 2);
    Literal(256 + static_cast<std::uint32_t>(recent));
    Repeat(c);
    if (kLengthBits[c] != 0) Bits(sent_length - 2 - kLengthBase[c], kLengthBits[c]);
  }

  // A short match (261..268) of two bytes at `distance` (1..256).
  void ShortMatch(std::uint32_t distance) {
    static constexpr std::uint32_t kBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
    static constexpr int kBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
    std::uint32_t c = 7;
    while (kBase[c] > distance - 1) --c;
    Literal(261 + c);
    Bits(distance - 1 - kBase[c], kBits[c]);
  }

  Bytes Finish() {
    w.AlignToByte();
    return w.bytes();
  }

  BitWriter w;

  static constexpr std::uint32_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,  12,  14,  16,  20,
                                                    24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
  static constexpr int kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                          2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
  static constexpr int kDistanceBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                            7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                            15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
  static inline std::uint32_t kDistanceBase[48] = {};

 private:
  static std::uint32_t LengthCode(std::uint32_t value) {
    std::uint32_t c = 27;
    while (kLengthBase[c] > value) --c;
    if (value - kLengthBase[c] >= (1u << kLengthBits[c])) throw std::logic_error("length out of range");
    return c;
  }
  static std::uint32_t DistanceCode(std::uint32_t value) {
    // Bases follow from the widths: each code covers 2^bits values.
    if (kDistanceBase[47] == 0) {
      std::uint32_t base = 0;
      for (int d = 0; d < 48; ++d) {
        kDistanceBase[d] = base;
        base += 1u << kDistanceBits[d];
      }
    }
    std::uint32_t d = 47;
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
