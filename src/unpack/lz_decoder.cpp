// The decoding loop, match copying, the output path and the public entry
// points of unpack.h.
//
// Each LZ step decodes one literal-table symbol: a literal byte, a repeat of
// the previous match, a match at one of the recent distances, a two-byte
// match at a short distance, new code tables, or a match with a length code
// and a distance-table symbol (format/stream_format.h); long distances
// lengthen a match (LongLengthBonus, RecentLengthBonus). In a multimedia
// block each step decodes a delta for the current channel, or new tables.
//
// Termination rests on the output count alone; a stream that has been read
// past its end is damaged (a complete stream never is), so the loop also
// stops then, which keeps damaged streams from spinning forever on table
// changes.
#include <cstring>
#include <new>

#include "format/delta_predictor.h"
#include "format/stream_format.h"
#include "unpack/bit_input.h"
#include "unpack/code_tables.h"
#include "unpack/unpack.h"
#include "unpack/unpack_state.h"

namespace sfx {

namespace {

constexpr std::uint32_t kWindowMask = kWindowSize - 1;
// Refill threshold at the top of a step: a step consumes at most 51 bits.
constexpr int kStepRefill = 8162;
// Flush when fewer free window bytes are left; the longest match is 260.
constexpr std::uint32_t kFlushMargin = 270;
static_assert(kFlushMargin > kLongMatchBase + kMaxLengthValue + LongLengthBonus(kMaxDistance));

// Clears the decoder state before a decode (not the scramble key chain).
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

// Copies n bytes to the output and reports them to the progress sink;
// writes and reports nothing when they do not fit.
void WriteOutput(UnpackState& state, const std::uint8_t* data, std::uint32_t n) {
  // Compared as a byte count so that no pointer past output_end is formed.
  if (static_cast<std::uint64_t>(n) > static_cast<std::uint64_t>(state.output_end - state.output_cursor)) return;
  if (n != 0) std::memcpy(state.output_cursor, data, n);
  state.output_cursor += n;
  if (state.progress_sink != nullptr) state.progress_sink(state.progress_context, n);
}

// Writes the window bytes between flushed_pos and window_pos to the output.
void FlushWindow(UnpackState& state) {
  if (state.window_pos < state.flushed_pos) {
    WriteOutput(state, state.window + state.flushed_pos, kWindowSize - state.flushed_pos);
    WriteOutput(state, state.window, state.window_pos);
  } else {
    WriteOutput(state, state.window + state.flushed_pos, state.window_pos - state.flushed_pos);
  }
  state.flushed_pos = state.window_pos;
}

// Consumes a table change placed after the last output byte.
void ReadTrailingTables(UnpackState& state) {
  // Unsigned on purpose: a fill level of -1 (empty stream) compares as huge.
  if (static_cast<std::uint32_t>(state.fill_level) < static_cast<std::uint32_t>(state.byte_pos + 5)) return;
  if (state.multimedia_mode != 0) {
    if (DecodeSymbol(state, state.channel_tables[state.current_channel]) == kChannelSymbolNewTables)
      ReadCodeTables(state);
  } else {
    if (DecodeSymbol(state, state.literal_table) == kSymbolNewTables) ReadCodeTables(state);
  }
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

// A run of LZ steps with the hot fields in locals.
//
// Window stores go through a byte pointer, which may alias every field of
// the state record, so a step written against the record would reload and
// store byte_pos, bit_pos, window_pos and remaining_output around each byte
// it writes. A run keeps those four in locals and writes them back when it
// ends. It goes on to a further step only when every test at the top of
// DecodeLoop would do nothing there: output still owed, no refill due
// (byte_pos <= kStepRefill), nothing read at or past the delivered input end
// (so the end-of-stream guard cannot fire), and no flush due. Otherwise it
// hands back to DecodeLoop, which runs those tests as for any step; so
// refills, the guard and every flush happen at the same points as with one
// step per pass of DecodeLoop, and the output reaches the sink in the same
// chunks.
class LzRun {
 public:
  explicit LzRun(UnpackState& state)
      : state_(state),
        in_{state.input_buffer, state.byte_pos, state.bit_pos},
        window_(state.window),
        window_pos_(state.window_pos),
        remaining_(state.remaining_output),
        flushed_pos_(state.flushed_pos),
        // A step may start at byte_pos <= kStepRefill without a refill;
        // below the delivered end nothing has been read past it.
        last_quiet_pos_(state.input_end - 1 < kStepRefill ? state.input_end - 1 : kStepRefill) {}

  // Runs the step that DecodeLoop has prepared, then more while the tests
  // at the top of DecodeLoop would all pass through.
  void Run() {
    for (;;) {
      const std::uint32_t s = DecodeSymbol(in_, state_.literal_table);
      if (s < 256) {
        window_[window_pos_] = static_cast<std::uint8_t>(s);
        window_pos_ += 1;
        remaining_ -= 1;
      } else if (s == kSymbolNewTables) {
        // Table reads may refill the buffer; DecodeLoop takes over.
        WriteBack();
        ReadCodeTables(state_);
        return;
      } else {
        Match(s);
      }
      if (remaining_ < 0) break;  // DecodeLoop ends; window_pos stays unmasked as it would
      window_pos_ &= kWindowMask;
      if (in_.byte_pos > last_quiet_pos_) break;
      if (((flushed_pos_ - window_pos_) & kWindowMask) < kFlushMargin && flushed_pos_ != window_pos_) break;
    }
    WriteBack();
  }

 private:
  // The state's input position fields, read by the bit primitives of
  // bit_input.h like the state itself.
  struct InputPosition {
    const std::uint8_t* input_buffer;
    std::int32_t byte_pos;
    std::uint32_t bit_pos;
  };

  void WriteBack() {
    state_.byte_pos = in_.byte_pos;
    state_.bit_pos = in_.bit_pos;
    state_.window_pos = window_pos_;
    state_.remaining_output = remaining_;
  }

  // A match symbol (every literal-table symbol above 255 but
  // kSymbolNewTables): its length and distance, then the copy.
  void Match(std::uint32_t s) {
    std::int32_t length;
    std::uint32_t distance;
    if (s >= kSymbolFirstLong) {
      const std::uint32_t c = s - kSymbolFirstLong;
      length = static_cast<std::int32_t>(kLengthBase[c] + kLongMatchBase + ReadExtraBits(in_, kLengthBits[c]));
      const std::uint32_t d = DecodeSymbol(in_, state_.distance_table);
      distance = kDistanceBase[d] + 1 + ReadExtraBits(in_, kDistanceBits[d]);
      length += static_cast<std::int32_t>(LongLengthBonus(distance));
    } else if (s == kSymbolRepeatPrevious) {
      length = state_.prev_length;
      distance = state_.prev_distance;
    } else if (s < kSymbolFirstShort) {
      // The (s - kSymbolFirstRecent)-th most recent distance.
      distance = state_.distance_ring[(state_.ring_index - (s - kSymbolFirstRecent) - 1) & (kRecentDistances - 1)];
      const std::uint32_t r = DecodeSymbol(in_, state_.repeat_table);
      length = static_cast<std::int32_t>(kLengthBase[r] + kRecentMatchBase + ReadExtraBits(in_, kLengthBits[r]));
      length += static_cast<std::int32_t>(RecentLengthBonus(distance));
    } else {
      const std::uint32_t c = s - kSymbolFirstShort;
      distance = kShortBase[c] + 1 + ReadBits(in_, kShortBits[c]);
      length = kShortMatchLength;
    }
    state_.distance_ring[state_.ring_index & (kRecentDistances - 1)] = distance;
    state_.ring_index += 1;
    state_.prev_distance = distance;
    state_.prev_length = length;
    remaining_ -= length;
    window_pos_ = CopyWithinWindow(window_, window_pos_, distance, static_cast<std::uint32_t>(length));
  }

  UnpackState& state_;
  InputPosition in_;
  std::uint8_t* const window_;
  std::uint32_t window_pos_;
  std::int32_t remaining_;
  const std::uint32_t flushed_pos_;
  const std::int32_t last_quiet_pos_;
};

// Runs the whole decode into `window` (kWindowSize bytes).
void DecodeLoop(UnpackState& state, std::uint8_t* window) {
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
    if (((state.flushed_pos - state.window_pos) & kWindowMask) < kFlushMargin && state.flushed_pos != state.window_pos)
      FlushWindow(state);
    if (state.multimedia_mode != 0)
      DecodeMultimediaStep(state);
    else
      LzRun(state).Run();
  }
  if (!overrun) ReadTrailingTables(state);
  FlushWindow(state);
}

}  // namespace

void UnpackStateDeleter::operator()(UnpackState* state) const { delete state; }

UnpackStatePtr NewUnpackState() { return UnpackStatePtr(new (std::nothrow) UnpackState()); }

void SetProgressSink(UnpackState& state, ProgressSink sink, void* context) {
  state.progress_sink = sink;
  state.progress_context = context;
}

bool UnpackPayload(UnpackState& state, const std::uint8_t* stream_start, const std::uint8_t* stream_end,
                   std::uint8_t* out_start, std::uint8_t* out_end) {
  std::uint8_t* window = new (std::nothrow) std::uint8_t[kWindowSize];
  if (window == nullptr) return false;
  state.stream_cursor = stream_start;
  state.stream_end = stream_end;
  state.output_end = out_end;
  state.output_cursor = out_start;
  state.remaining_output = static_cast<std::int32_t>(out_end - out_start);
  DecodeLoop(state, window);
  delete[] window;
  state.window = nullptr;
  return true;
}

}  // namespace sfx
