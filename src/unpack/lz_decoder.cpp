// The LZ decoding loop, match copying and the output path.
//
// Each step decodes one literal-table symbol: a literal byte (0..255), a
// repeat of the last match (256), a match at one of the last four distances
// (257..260, length from the repeat table), a two-byte match at a short
// distance (261..268), new code tables (269), or a match with a length code
// and a distance-table symbol (270..297). Long distances lengthen a match
// (LongLengthBonus, RecentLengthBonus). In a multimedia block each symbol is
// instead a delta for the current channel, or 256 for new tables.
//
// Termination rests on the output count alone; a stream that has been read
// past its end is damaged (a complete stream never is), so the loop also
// stops then, which keeps damaged streams from spinning forever on table
// changes.
#include "unpack/lz_decoder.h"

#include <cstring>
#include <new>

#include "format/stream_format.h"
#include "unpack/bit_input.h"
#include "unpack/code_tables.h"
#include "unpack/unpack_state.h"

namespace sfx {

namespace {

// Refill threshold at the top of a step: a step consumes at most 51 bits.
constexpr int kStepRefill = 8162;
// Flush when fewer free window bytes are left; the longest match is 260.
constexpr std::uint32_t kFlushMargin = 270;

// Extra bits of a field; a width of 0 reads nothing.
inline std::uint32_t ReadExtra(UnpackState& state, std::uint32_t bits) {
  return bits != 0 ? ReadBits(state, bits) : 0;
}

// One multimedia step: a delta byte for the current channel or new tables.
void DecodeMultimediaStep(UnpackState& state) {
  const std::uint32_t s = DecodeSymbol(state, state.channel_tables[state.current_channel]);
  if (s == kChannelSymbolNewTables) {
    ReadCodeTables(state);
    return;
  }
  state.window[state.window_pos] = state.predictor.DecodeDelta(state.current_channel, static_cast<std::uint8_t>(s));
  state.window_pos += 1;
  if (++state.current_channel == state.channel_count) state.current_channel = 0;
  state.remaining_output -= 1;
}

// One LZ step: a literal, a match of one of the four kinds, or new tables.
void DecodeLzStep(UnpackState& state) {
  const std::uint32_t s = DecodeSymbol(state, state.literal_table);
  if (s < 256) {
    state.window[state.window_pos] = static_cast<std::uint8_t>(s);
    state.window_pos += 1;
    state.remaining_output -= 1;
    return;
  }
  if (s >= kSymbolFirstLong) {
    const std::uint32_t c = s - kSymbolFirstLong;
    state.match_length = static_cast<std::int32_t>(kLengthBase[c] + kLongMatchBase + ReadExtra(state, kLengthBits[c]));
    const std::uint32_t d = DecodeSymbol(state, state.distance_table);
    state.match_distance = kDistanceBase[d] + 1 + ReadExtra(state, kDistanceBits[d]);
    state.match_length += static_cast<std::int32_t>(LongLengthBonus(state.match_distance));
    CopyMatch(state);
    return;
  }
  if (s == kSymbolNewTables) {
    ReadCodeTables(state);
    return;
  }
  if (s == kSymbolRepeatPrevious) {
    state.match_length = state.prev_length;
    state.match_distance = state.prev_distance;
    CopyMatch(state);
    return;
  }
  if (s < kSymbolFirstShort) {
    // The (s - 256)-th most recent distance.
    state.match_distance = state.distance_ring[(state.ring_index - s) & 3];
    const std::uint32_t r = DecodeSymbol(state, state.repeat_table);
    state.match_length = static_cast<std::int32_t>(kLengthBase[r] + kRecentMatchBase + ReadExtra(state, kLengthBits[r]));
    state.match_length += static_cast<std::int32_t>(RecentLengthBonus(state.match_distance));
    CopyMatch(state);
    return;
  }
  const std::uint32_t c = s - kSymbolFirstShort;
  state.match_distance = kShortBase[c] + 1 + ReadBits(state, kShortBits[c]);
  state.match_length = kShortMatchLength;
  CopyMatch(state);
}

// Copies `length` bytes forward, eight at a time, then the rest one by one;
// nothing is written past dst + length. This gives exactly the bytes of the
// byte-by-byte forward copy when neither span wraps and either the source
// lies at or ahead of the destination (no step reads a byte that an earlier
// step wrote) or at least 8 bytes behind it (every byte a step reads is
// below the bytes it writes, so it already holds its final value).
inline void CopyInEightByteSteps(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t length) {
  std::uint32_t i = 0;
  for (; i + 8 <= length; i += 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, src + i, 8);
    std::memcpy(dst + i, &chunk, 8);
  }
  for (; i < length; ++i) dst[i] = src[i];
}

// Copies `length` bytes (at most 16) from src to dst as a move: every
// source byte is loaded before any destination byte is stored. Two pieces
// of the largest size not above `length`, one at each end, overlap in the
// middle and cover all of it.
inline void MoveShort(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t length) {
  if (length >= 8) {
    std::uint64_t head, tail;
    std::memcpy(&head, src, 8);
    std::memcpy(&tail, src + length - 8, 8);
    std::memcpy(dst, &head, 8);
    std::memcpy(dst + length - 8, &tail, 8);
  } else if (length >= 4) {
    std::uint32_t head, tail;
    std::memcpy(&head, src, 4);
    std::memcpy(&tail, src + length - 4, 4);
    std::memcpy(dst, &head, 4);
    std::memcpy(dst + length - 4, &tail, 4);
  } else {
    const std::uint8_t first = src[0], middle = src[length / 2], last = src[length - 1];
    dst[0] = first;
    dst[length / 2] = middle;
    dst[length - 1] = last;
  }
}

// The byte-by-byte forward copy of `length` bytes from `distance` back,
// both positions wrapping at the window's end; returns the new write
// position (masked). Spans that do not wrap are copied in larger pieces
// where that gives the same bytes:
// - the source ends at or before the destination (gap >= length), or lies
//   ahead of it: the read of src + i could see the store to dst + j only
//   for j = i - gap, which is negative, or for j > i when the source is
//   ahead, so no read sees an earlier store and the copy equals a move;
// - the source lies 8 or more bytes behind: see CopyInEightByteSteps;
// - a distance of 1 repeats one byte, as the byte copy does.
inline std::uint32_t CopyWithinWindow(std::uint8_t* window, std::uint32_t dst, std::uint32_t distance,
                                      std::uint32_t length) {
  std::uint32_t src = (dst - distance) & kWindowMask;
  if (length != 0 && dst + length <= kWindowSize && src + length <= kWindowSize) {
    // Unsigned: a source ahead of the destination gives a huge gap.
    const std::uint32_t gap = dst - src;
    if (gap >= length) {
      if (length <= 16)
        MoveShort(window + dst, window + src, length);
      else
        std::memmove(window + dst, window + src, length);
      return (dst + length) & kWindowMask;
    }
    if (gap >= 8) {
      CopyInEightByteSteps(window + dst, window + src, length);
      return (dst + length) & kWindowMask;
    }
    if (gap == 1) {
      std::memset(window + dst, window[src], length);
      return (dst + length) & kWindowMask;
    }
  }
  for (std::uint32_t i = 0; i < length; ++i) {
    window[dst] = window[src];
    dst = (dst + 1) & kWindowMask;
    src = (src + 1) & kWindowMask;
  }
  return dst;
}

// Runs of LZ steps with the hot fields in locals.
//
// Window stores go through a byte pointer, which may alias every field of
// the state record, so a step written against the record reloads and
// stores byte_pos, bit_pos, window_pos and remaining_output around each
// byte it writes. A run keeps those four in locals and writes them back
// when it ends. It performs exactly the steps of DecodeLzStep in the same
// order, and it goes on to a further step only when every test at the top
// of the outer loop would do nothing there: output still owed, no refill
// due (byte_pos <= 8162), nothing read at or past the delivered input end
// (so the end-of-stream guard cannot fire), and no flush due. Otherwise it
// hands back to the outer loop, which runs those tests as usual; so
// refills, the guard and every flush happen at the same points and the
// output reaches the sink in the same chunks.
class LzRun {
 public:
  explicit LzRun(UnpackState& state)
      : state_(state),
        in_(state.input_buffer),
        window_(state.window),
        byte_pos_(state.byte_pos),
        bit_pos_(state.bit_pos),
        window_pos_(state.window_pos),
        remaining_(state.remaining_output),
        flushed_pos_(state.flushed_pos),
        // A step may start at byte_pos <= 8162 without a refill; below the
        // delivered end nothing has been read past it.
        last_quiet_pos_(state.input_end - 1 < kStepRefill ? state.input_end - 1 : kStepRefill) {}

  // Runs the step that the outer loop has prepared, then more while the
  // outer loop's tests would all pass through.
  void Run() {
    for (;;) {
      const std::uint32_t s = Decode(state_.literal_table);
      if (s < 256) {
        window_[window_pos_] = static_cast<std::uint8_t>(s);
        window_pos_ += 1;
        remaining_ -= 1;
      } else if (s == kSymbolNewTables) {
        // Table reads may refill the buffer; the outer loop takes over.
        WriteBack();
        ReadCodeTables(state_);
        return;
      } else {
        Match(s);
      }
      if (remaining_ < 0) break;  // the outer loop ends; window_pos stays unmasked as it would
      window_pos_ &= kWindowMask;
      if (byte_pos_ > last_quiet_pos_) break;
      if (((flushed_pos_ - window_pos_) & kWindowMask) < kFlushMargin && flushed_pos_ != window_pos_) break;
    }
    WriteBack();
  }

 private:
  void WriteBack() {
    state_.byte_pos = byte_pos_;
    state_.bit_pos = bit_pos_;
    state_.window_pos = window_pos_;
    state_.remaining_output = remaining_;
  }

  // PeekBits as one big-endian 32-bit load: bit_pos <= 7, so the shift keeps
  // only bits of the first three bytes and the fourth never shows. A run
  // peeks at byte_pos <= 8162 + 6, so all four bytes lie in the buffer.
  std::uint32_t Peek() const {
    const std::uint8_t* p = in_ + byte_pos_;
    const std::uint32_t v = (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
                            (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
    return (v << bit_pos_) >> 16;
  }

  void Skip(std::uint32_t n) {
    bit_pos_ += n;
    byte_pos_ += static_cast<std::int32_t>(bit_pos_ >> 3);
    bit_pos_ &= 7;
  }

  std::uint32_t Read(std::uint32_t n) {
    const std::uint32_t value = Peek() >> (16 - n);
    Skip(n);
    return value;
  }

  std::uint32_t ReadExtraBits(std::uint32_t n) { return n != 0 ? Read(n) : 0; }

  // DecodeSymbol on the locals: the quick entry, else the limit bisection.
  std::uint32_t Decode(const DecodeTable& table) {
    const std::uint32_t peek = Peek();
    const std::uint32_t entry = table.quick[peek >> (16 - kQuickBits)];
    if (entry != 0) {
      Skip(entry & 15);
      return entry >> 4;
    }
    const std::uint32_t b = peek & 0xFFFEu;
    const std::uint32_t length = CodeLengthOf(table, b);
    Skip(length);
    std::uint32_t index = SymbolIndexOf(table, b, length);
    if (index >= static_cast<std::uint32_t>(table.symbol_count)) index = 0;
    return table.symbols[index];
  }

  // Symbols 256..268 and 270..297, as in DecodeLzStep.
  void Match(std::uint32_t s) {
    std::int32_t length;
    std::uint32_t distance;
    if (s >= kSymbolFirstLong) {
      const std::uint32_t c = s - kSymbolFirstLong;
      length = static_cast<std::int32_t>(kLengthBase[c] + kLongMatchBase + ReadExtraBits(kLengthBits[c]));
      const std::uint32_t d = Decode(state_.distance_table);
      distance = kDistanceBase[d] + 1 + ReadExtraBits(kDistanceBits[d]);
      length += static_cast<std::int32_t>(LongLengthBonus(distance));
    } else if (s == kSymbolRepeatPrevious) {
      length = state_.prev_length;
      distance = state_.prev_distance;
    } else if (s < kSymbolFirstShort) {
      distance = state_.distance_ring[(state_.ring_index - s) & 3];
      const std::uint32_t r = Decode(state_.repeat_table);
      length = static_cast<std::int32_t>(kLengthBase[r] + kRecentMatchBase + ReadExtraBits(kLengthBits[r]));
      length += static_cast<std::int32_t>(RecentLengthBonus(distance));
    } else {
      const std::uint32_t c = s - kSymbolFirstShort;
      distance = kShortBase[c] + 1 + Read(kShortBits[c]);
      length = kShortMatchLength;
    }
    state_.match_length = length;
    state_.match_distance = distance;
    state_.distance_ring[state_.ring_index & 3] = distance;
    state_.ring_index += 1;
    state_.prev_distance = distance;
    state_.prev_length = length;
    remaining_ -= length;
    window_pos_ = CopyWithinWindow(window_, window_pos_, distance, static_cast<std::uint32_t>(length));
  }

  UnpackState& state_;
  const std::uint8_t* const in_;
  std::uint8_t* const window_;
  std::int32_t byte_pos_;
  std::uint32_t bit_pos_;
  std::uint32_t window_pos_;
  std::int32_t remaining_;
  const std::uint32_t flushed_pos_;
  const std::int32_t last_quiet_pos_;
};

}  // namespace

void ResetUnpackState(UnpackState& state) {
  state.bit_pos = 0;
  state.byte_pos = 0;
  state.current_channel = 0;
  state.predictor = DeltaPredictor{};
  for (auto& distance : state.distance_ring) distance = 0;
  state.ring_index = 0;
  state.prev_length = 0;
  state.prev_distance = 0;
  std::memset(state.window, 0, kWindowSize);
  std::memset(state.previous_lengths, 0, sizeof state.previous_lengths);
  state.flushed_pos = 0;
  state.window_pos = 0;
}

void CopyMatch(UnpackState& state) {
  state.distance_ring[state.ring_index & 3] = state.match_distance;
  state.ring_index += 1;
  state.prev_distance = state.match_distance;
  state.remaining_output -= state.match_length;
  state.prev_length = state.match_length;
  state.window_pos = CopyWithinWindow(state.window, state.window_pos, state.match_distance,
                                      static_cast<std::uint32_t>(state.match_length));
}

std::int32_t WriteOutput(UnpackState& state, const std::uint8_t* data, std::uint32_t n) {
  // Compared as a byte count so that no pointer past output_end is formed.
  if (static_cast<std::uint64_t>(n) > static_cast<std::uint64_t>(state.output_end - state.output_cursor)) return -1;
  if (n != 0) std::memcpy(state.output_cursor, data, n);
  state.output_cursor += n;
  if (state.progress_sink != nullptr) state.progress_sink(state.progress_context, n);
  return static_cast<std::int32_t>(n);
}

void FlushWindow(UnpackState& state) {
  if (state.window_pos < state.flushed_pos) {
    WriteOutput(state, state.window + state.flushed_pos, kWindowSize - state.flushed_pos);
    WriteOutput(state, state.window, state.window_pos);
  } else {
    WriteOutput(state, state.window + state.flushed_pos, state.window_pos - state.flushed_pos);
  }
  state.flushed_pos = state.window_pos;
}

void ReadTrailingTables(UnpackState& state) {
  // Unsigned on purpose: a fill level of -1 (empty stream) compares as huge.
  if (static_cast<std::uint32_t>(state.fill_level) < static_cast<std::uint32_t>(state.byte_pos + 5)) return;
  if (state.multimedia_mode != 0) {
    if (DecodeSymbol(state, state.channel_tables[state.current_channel]) == kChannelSymbolNewTables) ReadCodeTables(state);
  } else {
    if (DecodeSymbol(state, state.literal_table) == kSymbolNewTables) ReadCodeTables(state);
  }
}

namespace {

// The loop of both entry points; `runs` picks LzRun for LZ blocks, else one
// DecodeLzStep per pass.
void RunDecodeLoop(UnpackState& state, std::uint8_t* window, bool runs) {
  state.window = window;
  ResetUnpackState(state);
  FillInputBuffer(state, true);
  ReadCodeTables(state);
  state.remaining_output -= 1;
  bool overrun = false;
  while (state.remaining_output >= 0) {
    state.window_pos &= kWindowMask;
    if (state.byte_pos > kStepRefill) FillInputBuffer(state, false);
    if (state.byte_pos >= state.input_end && InputOverrun(state)) {
      overrun = true;
      break;
    }
    if (((state.flushed_pos - state.window_pos) & kWindowMask) < kFlushMargin &&
        state.flushed_pos != state.window_pos)
      FlushWindow(state);
    if (state.multimedia_mode != 0)
      DecodeMultimediaStep(state);
    else if (runs)
      LzRun(state).Run();
    else
      DecodeLzStep(state);
  }
  if (!overrun) ReadTrailingTables(state);
  FlushWindow(state);
}

}  // namespace

void DecodeLoop(UnpackState& state, std::uint8_t* window) { RunDecodeLoop(state, window, true); }

void DecodeLoopStepwise(UnpackState& state, std::uint8_t* window) { RunDecodeLoop(state, window, false); }

}  // namespace sfx

// ---------------------------------------------------------------------------
// Public entry points (unpack.h).

namespace sfx {

void UnpackStateDeleter::operator()(UnpackState* state) const { delete state; }

UnpackStatePtr NewUnpackState() { return UnpackStatePtr(new (std::nothrow) UnpackState()); }

void SetProgressSink(UnpackState& state, ProgressSink sink, void* context) {
  state.progress_sink = sink;
  state.progress_context = context;
}

int UnpackPayload(UnpackState& state, const std::uint8_t* stream_start, const std::uint8_t* stream_end,
                  std::uint8_t* out_start, std::uint8_t* out_end) {
  std::uint8_t* window = new (std::nothrow) std::uint8_t[kWindowSize];
  if (window == nullptr) return 0;
  state.stream_cursor = stream_start;
  state.stream_end = stream_end;
  state.output_end = out_end;
  state.output_cursor = out_start;
  state.remaining_output = static_cast<std::int32_t>(out_end - out_start);
  DecodeLoop(state, window);
  delete[] window;
  state.window = nullptr;
  return 1;
}

}  // namespace sfx
