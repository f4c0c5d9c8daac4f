// Canonical prefix code tables and the reading of a block's code lengths.
//
// Building: count the codes of each length; for k = 1..15 the running code
// count N = 2 * (N + count[k]) gives limit[k] = N << (15 - k), capped at
// 0xFFFF, and first_index[k] is the running total of shorter codes. An
// over-full set of lengths just saturates the limits; an incomplete one
// leaves part of the code space free, and peeks in that part decode by the
// same arithmetic (an index past symbol_count selects symbols[0]).
//
// Decoding: the fast path looks up the first kQuickBits peeked bits. An
// entry is filled only when the bisection gives the same code length and
// the same index for the smallest and the largest masked peek with that
// prefix; since the limits never decrease with k, the length (and then the
// index, which grows with the peek) is the same for every peek in between,
// so the lookup always agrees with the bisection. Other prefixes (codes
// longer than kQuickBits, or prefixes that straddle a limit) fall back to it.
//
// Code lengths of a block: a 2-bit header (multimedia flag, keep-previous
// flag), for multimedia two bits of channel count - 1, kBitLengthSymbols
// lengths of the code-length code, then the lengths themselves: 0..15
// (added to the previous length mod 16) or one of the runs kRepeatRun,
// kShortZeroRun and kLongZeroRun (format/stream_format.h).
#include "unpack/code_tables.h"

#include <cstring>

#include "format/stream_format.h"
#include "unpack/bit_input.h"
#include "unpack/unpack_state.h"

namespace sfx {

namespace {

// Refill thresholds that keep every peek of a table read inside the buffer.
constexpr int kTableReadRefill = 8167;
constexpr int kLengthSymbolRefill = 8187;

constexpr int kQuickShift = 16 - kQuickBits;

// Code length that the limit bisection gives for a masked 16-bit peek.
std::uint32_t CodeLengthOf(const DecodeTable& table, std::uint32_t b) {
  const std::uint32_t* limit = table.limit;
  if (b < limit[8]) {
    if (b < limit[4]) {
      if (b < limit[2]) return b < limit[1] ? 1 : 2;
      return b < limit[3] ? 3 : 4;
    }
    if (b < limit[6]) return b < limit[5] ? 5 : 6;
    return b < limit[7] ? 7 : 8;
  }
  if (b < limit[12]) {
    if (b < limit[10]) return b < limit[9] ? 9 : 10;
    return b < limit[11] ? 11 : 12;
  }
  if (b < limit[14]) return b < limit[13] ? 13 : 14;
  return 15;
}

// Position in `symbols` for a masked peek and its code length, before an
// index past symbol_count is turned into 0.
std::uint32_t SymbolIndexOf(const DecodeTable& table, std::uint32_t b, std::uint32_t length) {
  return table.first_index[length] + ((b - table.limit[length - 1]) >> (16 - length));
}

// Fills the direct-lookup cache of a freshly built table in one sweep over
// the prefixes in ascending order. The bisection's code length of a masked
// peek b is the smallest k < 15 with b < limit[k], else 15; the limits never
// decrease, so that k never decreases with b and is found by walking k up
// from the previous prefix's. A prefix gets an entry when its smallest and
// largest masked peeks have the same length k <= kQuickBits and the same
// index; since both grow with the peek, every peek in between has them too,
// and the entry is SlowTableEntry's for any of them.
void SweepQuickTable(DecodeTable& table) {
  const std::uint32_t* limit = table.limit;
  std::uint32_t k = 1;
  for (std::uint32_t prefix = 0; prefix < (1u << kQuickBits); ++prefix) {
    const std::uint32_t low = prefix << kQuickShift;
    const std::uint32_t high = (low + (1u << kQuickShift) - 1) & 0xFFFEu;
    while (k < 15 && low >= limit[k]) ++k;
    std::uint16_t entry = 0;
    // The largest peek has the same length when it also lies below limit[k].
    if (k <= static_cast<std::uint32_t>(kQuickBits) && high < limit[k] &&
        ((low - limit[k - 1]) >> (16 - k)) == ((high - limit[k - 1]) >> (16 - k))) {
      std::uint32_t index = SymbolIndexOf(table, low, k);
      if (index >= static_cast<std::uint32_t>(table.symbol_count)) index = 0;
      entry = static_cast<std::uint16_t>((table.symbols[index] << kEntryShift) | k);
    }
    table.quick[prefix] = entry;
  }
}

// The direct-lookup cache of a freshly built table whose code is not over-
// full (its codes fit the 16-bit code space, as every encoder's do). Then
// the codes are canonical: in order of length and value, each code of k bits
// takes the next 2^(kQuickBits - k) prefixes, and the bisection gives every
// peek with such a prefix that code's length and symbol; so these entries
// are those of SweepQuickTable, and all others (longer codes, unused code
// space) are 0 there too. Written symbol by symbol, which is much quicker;
// a code's prefixes start at a multiple of its span, so spans of four or
// more are written four entries per 8-byte store.
void FillQuickTable(DecodeTable& table, const std::uint32_t* per_length) {
  std::uint32_t prefix = 0;
  for (std::uint32_t k = 1; k <= static_cast<std::uint32_t>(kQuickBits); ++k) {
    const std::uint32_t span = 1u << (kQuickBits - k);
    const std::uint32_t* symbol = table.symbols + table.first_index[k];
    for (std::uint32_t j = 0; j < per_length[k]; ++j, prefix += span) {
      const auto entry = static_cast<std::uint16_t>((symbol[j] << kEntryShift) | k);
      if (span >= 4) {
        const std::uint64_t four = entry * 0x0001000100010001ull;
        for (std::uint32_t p = prefix; p < prefix + span; p += 4) std::memcpy(table.quick + p, &four, 8);
      } else {
        for (std::uint32_t p = prefix; p < prefix + span; ++p) table.quick[p] = entry;
      }
    }
  }
  // The rest belongs to longer codes or to no code.
  std::memset(table.quick + prefix, 0, sizeof table.quick - prefix * sizeof table.quick[0]);
}

}  // namespace

void BuildDecodeTable(const std::uint8_t* lengths, DecodeTable& table, int count) {
  std::uint32_t per_length[kMaxCodeBits + 1] = {};
  // Lengths are 0..15 by contract; the mask only keeps a bad caller in bounds.
  for (int i = 0; i < count; ++i) ++per_length[lengths[i] & 15];
  per_length[0] = 0;

  std::uint32_t next[kMaxCodeBits + 1];
  table.limit[0] = 0;
  table.first_index[0] = 0;
  next[0] = 0;
  std::uint32_t n = 0;  // codes of the lengths so far, in units of 2^-k of the code space
  for (int k = 1; k <= kMaxCodeBits; ++k) {
    n = 2 * (n + per_length[k]);
    const std::uint32_t limit = n << (kMaxCodeBits - k);
    table.limit[k] = limit > 0xFFFFu ? 0xFFFFu : limit;
    table.first_index[k] = table.first_index[k - 1] + per_length[k - 1];
    next[k] = table.first_index[k];
  }
  for (int i = 0; i < count; ++i) {
    const int length = lengths[i] & 15;
    if (length != 0) table.symbols[next[length]++] = static_cast<std::uint32_t>(i);
  }
  table.symbol_count = count;
  // n is now twice the number of 15-bit code units taken: 0x10000 for a
  // complete code.
  if (n <= 0x10000u)
    FillQuickTable(table, per_length);
  else
    SweepQuickTable(table);
}

std::uint32_t SlowTableEntry(const DecodeTable& table, std::uint32_t peek) {
  const std::uint32_t b = peek & 0xFFFEu;
  const std::uint32_t length = CodeLengthOf(table, b);
  std::uint32_t index = SymbolIndexOf(table, b, length);
  if (index >= static_cast<std::uint32_t>(table.symbol_count)) index = 0;
  return (table.symbols[index] << kEntryShift) | length;
}

void ReadCodeTables(UnpackState& state) {
  if (state.byte_pos > kTableReadRefill) FillInputBuffer(state, false);
  const std::uint32_t header = PeekBits(state);
  state.multimedia_mode = header & 0x8000u;
  if ((header & 0x4000u) == 0) std::memset(state.previous_lengths, 0, sizeof state.previous_lengths);
  SkipBits(state, 2);

  int table_size = kLzTableSize;
  if (state.multimedia_mode != 0) {
    state.channel_count = static_cast<std::int32_t>((header >> 12) & 3) + 1;
    if (state.current_channel >= state.channel_count) state.current_channel = 0;
    SkipBits(state, 2);
    table_size = kChannelSymbols * state.channel_count;
  }

  std::uint8_t bit_lengths[kBitLengthSymbols];
  for (auto& length : bit_lengths) length = static_cast<std::uint8_t>(ReadBits(state, kBitLengthFieldBits));
  BuildDecodeTable(bit_lengths, state.bit_length_table, kBitLengthSymbols);

  // Entries past table_size are not in the stream and stay 0.
  std::uint8_t new_lengths[kMaxTableSize] = {};
  int i = 0;
  while (i < table_size) {
    if (state.byte_pos > kLengthSymbolRefill) FillInputBuffer(state, false);
    const std::uint32_t s = DecodeSymbol(state, state.bit_length_table);
    if (s < 16) {
      new_lengths[i] = static_cast<std::uint8_t>((s + state.previous_lengths[i]) & 15);
      ++i;
    } else if (s == kRepeatRun.symbol) {
      // A repeat at the very first position repeats a length of 0.
      std::uint32_t n = ReadBits(state, kRepeatRun.extra_bits) + kRepeatRun.min_count;
      for (; n != 0 && i < table_size; --n, ++i) new_lengths[i] = i > 0 ? new_lengths[i - 1] : 0;
    } else {
      const CodeLengthRun& run = s == kShortZeroRun.symbol ? kShortZeroRun : kLongZeroRun;
      std::uint32_t n = ReadBits(state, run.extra_bits) + run.min_count;
      for (; n != 0 && i < table_size; --n, ++i) new_lengths[i] = 0;
    }
  }

  if (state.multimedia_mode != 0) {
    for (int j = 0; j < state.channel_count; ++j)
      BuildDecodeTable(new_lengths + kChannelSymbols * j, state.channel_tables[j], kChannelSymbols);
  } else {
    BuildDecodeTable(new_lengths, state.literal_table, kLiteralSymbols);
    BuildDecodeTable(new_lengths + kLiteralSymbols, state.distance_table, kDistanceSymbols);
    BuildDecodeTable(new_lengths + kLiteralSymbols + kDistanceSymbols, state.repeat_table, kRepeatSymbols);
  }
  std::memcpy(state.previous_lengths, new_lengths, sizeof state.previous_lengths);
}

}  // namespace sfx
