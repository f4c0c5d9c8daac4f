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

// Largest number of bytes that CopyDirect writes past the end of a match.
constexpr std::uint32_t kCopyOverrun = 15;

// Copies `length` bytes forward in `step`-byte pieces (8 or 16), the last
// piece running up to step - 1 bytes past the end. With the source `step` or
// more bytes behind the destination, every byte that a piece reads is below
// the bytes it writes and already holds its final value, so the first
// `length` bytes are those of the byte-by-byte copy.
template <std::uint32_t kStep>
inline void CopyWithOverrun(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t length) {
  std::uint32_t i = 0;
  do {
    std::uint8_t piece[kStep];
    std::memcpy(piece, src + i, kStep);
    std::memcpy(dst + i, piece, kStep);
    i += kStep;
  } while (i < length);
}

// Positions and steps of CopyPattern, so that it divides nothing (a
// division per byte made it a tenth of the decoding time of binaries).
struct PatternTables {
  std::uint8_t source[8][16];  // source[d][i] = i % d
  std::uint8_t step[8];        // step[d] = 16 - 16 % d
};
constexpr PatternTables MakePatternTables() {
  PatternTables t{};
  for (std::uint32_t d = 1; d < 8; ++d) {
    for (std::uint32_t i = 0; i < 16; ++i) t.source[d][i] = static_cast<std::uint8_t>(i % d);
    t.step[d] = static_cast<std::uint8_t>(16 - 16 % d);
  }
  return t;
}
inline constexpr PatternTables kPatternTables = MakePatternTables();

// The byte-by-byte forward copy for a distance of 2 to 7, which repeats the
// `distance` bytes at src: 16 bytes of that repetition are laid out once,
// then stored every `step` bytes, the largest multiple of the distance up
// to 16, so each store continues the repetition where the last one left
// it. The last store runs up to 14 bytes past the end.
inline void CopyPattern(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t distance, std::uint32_t length) {
  std::uint8_t pattern[16];
  const std::uint8_t* source = kPatternTables.source[distance];
  for (std::uint32_t i = 0; i < 16; ++i) pattern[i] = src[source[i]];
  const std::uint32_t step = kPatternTables.step[distance];
  std::uint32_t i = 0;
  do {
    std::memcpy(dst + i, pattern, 16);
    i += step;
  } while (i < length);
}

// The byte-by-byte forward copy of `length` bytes from `distance` back in
// the output itself (see DirectOutput): byte p becomes byte p - distance, or
// zero while that lies before the output's start; a distance of 0 stands
// for kWindowSize. It may write up to kCopyOverrun bytes of scratch past the
// match: a direct decode stops kDirectMargin bytes before the output's end,
// and every byte behind the match is written again by later steps or the
// handover before it is delivered.
inline void CopyDirect(std::uint8_t* out, std::uint32_t dst, std::uint32_t distance, std::uint32_t length) {
  if (distance == 0) distance = kWindowSize;
  if (distance <= dst) {
    std::uint8_t* d = out + dst;
    const std::uint8_t* src = d - distance;
    if (length == 0) return;
    if (distance >= 16) {
      CopyWithOverrun<16>(d, src, length);
    } else if (distance >= 8) {
      CopyWithOverrun<8>(d, src, length);
    } else if (distance == 1) {
      std::memset(d, *src, length);
    } else {
      CopyPattern(d, src, distance, length);
    }
    return;
  }
  for (std::uint32_t i = 0; i < length; ++i, ++dst) out[dst] = dst >= distance ? out[dst - distance] : 0;
}

// Where a run puts its bytes. WindowOutput is the 1 MiB window of the
// decoding loop: positions wrap, and the bytes reach the output by flushes.
// DirectOutput is the output buffer itself, used while the whole image is in
// memory and far from its end: position p there is output byte p, and the
// window byte that a match at distance d reads is output byte p - d, or zero
// while p - d lies before the output's start (the window is zero at the
// reset and not yet written there); a distance of 0 reads the byte the
// window holds at p itself, which is output byte p - kWindowSize.
struct WindowOutput {
  std::uint8_t* base;  // the window
  std::uint32_t pos;   // window_pos

  void Put(std::uint8_t byte) { base[pos++] = byte; }
  void Copy(std::uint32_t distance, std::uint32_t length) { pos = CopyWithinWindow(base, pos, distance, length); }
  void Mask() { pos &= kWindowMask; }
  // The flush test at the top of a decoding step, against flushed_pos.
  bool FlushDue(std::uint32_t flushed) const {
    return ((flushed - pos) & kWindowMask) < kFlushMargin && flushed != pos;
  }
  // How many bytes may be written from here (FlushDue false) before
  // FlushDue turns true. The free room up to flushed_pos is D =
  // (flushed - pos) masked, or the whole window when the two are equal;
  // after n more bytes the test reads (D - n) masked, which is due for
  // D - kFlushMargin < n < D. A step writes at most 260 < kFlushMargin bytes,
  // so the first step that ends with n > D - kFlushMargin ends below D:
  // the test turns true exactly when n exceeds the allowance.
  std::int64_t FlushAllowance(std::uint32_t flushed) const {
    const std::uint32_t room = (flushed - pos) & kWindowMask;
    return static_cast<std::int64_t>(room == 0 ? kWindowSize : room) - kFlushMargin;
  }
};

struct DirectOutput {
  std::uint8_t* base;  // output start
  std::uint32_t pos;   // bytes decoded so far

  void Put(std::uint8_t byte) { base[pos++] = byte; }
  void Copy(std::uint32_t distance, std::uint32_t length) {
    CopyDirect(base, pos, distance, length);
    pos += length;
  }
  void Mask() {}
  // The window test on the unflushed span pos - flushed, which is below
  // kWindowSize: flushed_pos - window_pos is kWindowSize - span modulo the
  // window, so the test holds exactly when the span exceeds
  // kWindowSize - kFlushMargin.
  bool FlushDue(std::uint32_t flushed) const { return pos - flushed > kWindowSize - kFlushMargin; }
  // As for WindowOutput: the test turns true once pos passes flushed +
  // kWindowSize - kFlushMargin.
  std::int64_t FlushAllowance(std::uint32_t flushed) const {
    return static_cast<std::int64_t>(flushed) + (kWindowSize - kFlushMargin) - pos;
  }
};

// Output still owed below which a direct decode hands over to the window:
// more than a step writes (at most 260 bytes and kCopyOverrun of scratch),
// so a direct step never writes past the output's end, and no flush before
// the handover can be refused.
constexpr std::int32_t kDirectMargin = 1024;
static_assert(kDirectMargin > static_cast<std::int32_t>(kFlushMargin + kCopyOverrun));

// The big-endian 64-bit value of the eight bytes at p.
inline std::uint64_t LoadBE64(const std::uint8_t* p) {
#if defined(__GNUC__)
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);  // the compilers of every preset are GCC or Clang; x86 is little-endian
#else
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
#endif
}

// The input position of a run as a bit buffer: `bits` holds the next
// `count` stream bits at its top, and `next` is the first buffer byte not
// yet loaded. Refill loads the eight bytes at `next` behind the held bits
// without a branch and moves `next` on by the whole bytes that fit, so that
// 56 to 63 bits are held; the bits below the held ones are the stream's
// own next bits or zero, so the next load ORs in the same values. A step
// reads at most 51 bits and refills once at its start, so a peek always
// shows held bits: the same bits that PeekBits on the input buffer shows,
// as the buffer does not change during a run. A step starts at a bit
// position below (kStepRefill + 1) * 8, so `next` is at most kStepRefill + 8
// and the eight bytes loaded lie inside the 8192-byte buffer.
struct StepInput {
  StepInput(const std::uint8_t* buffer, std::int32_t byte_pos, std::uint32_t bit_pos)
      : input_buffer(buffer), next(buffer + byte_pos) {
    Refill();
    bits <<= bit_pos;
    count -= bit_pos;
  }

  void Refill() {
    bits |= LoadBE64(next) >> count;
    next += (63 - count) >> 3;
    count |= 56;
  }
  // Bits of the input buffer consumed so far.
  std::int32_t BitPosition() const {
    return static_cast<std::int32_t>(next - input_buffer) * 8 - static_cast<std::int32_t>(count);
  }

  const std::uint8_t* const input_buffer;
  const std::uint8_t* next;
  std::uint64_t bits = 0;
  std::uint32_t count = 0;
};
static_assert(kStepRefill + 16 <= kInputBufferSize);

// The bit primitives of bit_input.h on a StepInput (DecodeSymbol and
// ReadBits find these by overload resolution).
inline std::uint32_t PeekBits(const StepInput& in) { return static_cast<std::uint32_t>(in.bits >> 48); }
inline void SkipBits(StepInput& in, std::uint32_t n) {
  in.bits <<= n;
  in.count -= n;
}
// DecodeSymbol of code_tables.h on a StepInput, with the shortest chain
// from one symbol to the next: the lookup index straight from the bit
// buffer, and the buffer shifted by the entry itself (whose low six bits
// are the code length; the mask is the one x86 applies to a 64-bit shift
// anyway, so it costs nothing there).
inline std::uint32_t DecodeSymbol(StepInput& in, const DecodeTable& table) {
  std::uint32_t entry = table.quick[in.bits >> (64 - kQuickBits)];
  if (entry == 0) entry = SlowTableEntry(table, PeekBits(in));
  in.bits <<= entry & 63;
  in.count -= entry & kEntryLengthMask;
  return entry >> kEntryShift;
}
// ReadBits and ReadExtraBits of bit_input.h on a StepInput, without a
// branch for n = 0: the top bit is shifted out first, so a shift by 63 - n
// leaves the n top bits, or nothing.
inline std::uint32_t ReadBits(StepInput& in, std::uint32_t n) {
  const auto value = static_cast<std::uint32_t>((in.bits >> 1) >> (63 - n));
  in.bits <<= n;
  in.count -= n;
  return value;
}
inline std::uint32_t ReadExtraBits(StepInput& in, std::uint32_t n) { return ReadBits(in, n); }
// The forms of bit_input.h stay visible for NarrowStepInput.
using ::sfx::ReadBits;
using ::sfx::ReadExtraBits;

// The big-endian 32-bit value of the four bytes at p.
inline std::uint32_t LoadBE32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

// StepInput on a 32-bit bit buffer, for 32-bit processors. Refill tops it
// up to 24 to 31 held bits in the same way (four bytes loaded at `next`);
// since a step reads more than that, every peek first refills when fewer
// than 16 bits are held, so a peek again shows held bits only. Loads stay
// inside the buffer: a step that starts at byte kStepRefill or below ends
// at most 7 bytes further, and a load reads four bytes from `next`.
struct NarrowStepInput {
  NarrowStepInput(const std::uint8_t* buffer, std::int32_t byte_pos, std::uint32_t bit_pos)
      : input_buffer(buffer), next(buffer + byte_pos) {
    Refill();
    bits <<= bit_pos;
    count -= bit_pos;
  }

  void Refill() {
    bits |= LoadBE32(next) >> count;
    next += (31 - count) >> 3;
    count |= 24;
  }
  std::int32_t BitPosition() const {
    return static_cast<std::int32_t>(next - input_buffer) * 8 - static_cast<std::int32_t>(count);
  }

  const std::uint8_t* const input_buffer;
  const std::uint8_t* next;
  std::uint32_t bits = 0;
  std::uint32_t count = 0;
};
static_assert(kStepRefill + 7 + 4 + 4 <= kInputBufferSize);

inline std::uint32_t PeekBits(NarrowStepInput& in) {
  if (in.count < 16) in.Refill();
  return in.bits >> 16;
}
inline void SkipBits(NarrowStepInput& in, std::uint32_t n) {
  in.bits <<= n;
  in.count -= n;
}

// The bit buffer DecodeLoop runs (see UseNarrowBitReader).
bool narrow_bit_reader = sizeof(void*) < 8;

// A run of decoding steps with the hot fields in locals.
//
// Output stores go through a byte pointer, which may alias every field of
// the state record, so a step written against the record would reload and
// store byte_pos, bit_pos, the output position and remaining_output around
// each byte it writes. A run keeps those in locals and writes them back when
// it ends. It goes on to a further step only when every test at the top of
// DecodeLoop would do nothing there: output still owed (for a direct run:
// at least kDirectMargin bytes, so that no handover is due), no refill due
// (byte_pos <= kStepRefill), nothing read at or past the delivered input end
// (so the end-of-stream guard cannot fire), and no flush due. Otherwise it
// hands back to DecodeLoop, which runs those tests as for any step; so
// refills, the guard and every flush happen at the same points as with one
// step per pass of DecodeLoop, and the output reaches the sink in the same
// chunks.
template <class Output, class Input>
class DecodeRun {
 public:
  DecodeRun(UnpackState& state, Output output, std::uint32_t flushed, std::int32_t stop_below)
      : state_(state),
        in_(state.input_buffer, state.byte_pos, state.bit_pos),
        out_(output),
        remaining_(state.remaining_output),
        stop_below_(stop_below),
        remaining_floor_(RemainingFloor(state.remaining_output, output.FlushAllowance(flushed), stop_below)),
        // A step may start at byte_pos <= kStepRefill without a refill;
        // below the delivered end nothing has been read past it. As a bit
        // position: below the start of the byte after that.
        quiet_bits_end_(((state.input_end - 1 < kStepRefill ? state.input_end - 1 : kStepRefill) + 1) * 8) {}

  // Runs the LZ step that DecodeLoop has prepared, then more while the
  // tests at the top of DecodeLoop would all pass through. Returns the
  // output position.
  std::uint32_t RunLz() {
    Steps h{in_, out_, remaining_, stop_below_, remaining_floor_, quiet_bits_end_};
    for (;;) {
      h.in.Refill();
      std::uint32_t s = DecodeSymbol(h.in, state_.literal_table);
      // A refill leaves at least 56 bits and a literal takes at most 15, so
      // up to three symbols are decoded per refill while they are literals;
      // a match or table change behind a literal refills for the rest of
      // its step (see StepInput).
      if (s < 256) {
        if (!Literal(h, s)) break;
        s = DecodeSymbol(h.in, state_.literal_table);
        if (s < 256) {
          if (!Literal(h, s)) break;
          s = DecodeSymbol(h.in, state_.literal_table);
          if (s < 256) {
            if (!Literal(h, s)) break;
            continue;
          }
        }
        h.in.Refill();
      }
      if (s == kSymbolNewTables) {
        // Table reads may refill the buffer; DecodeLoop takes over.
        WriteBack(h);
        ReadCodeTables(state_);
        return h.out.pos;
      }
      Match(h, s);
      if (!Continue(h)) break;
    }
    WriteBack(h);
    return h.out.pos;
  }

  // The same for multimedia steps, with the predictor's SSE2 form where
  // the processor has it.
  std::uint32_t RunMultimedia() {
#if SFX_SSE2_PATH
    if (UseSse2Predictor()) return RunMultimediaSse2();
#endif
    return RunMultimediaWith<false>();
  }

 private:
  // What the steps of a run change and test, copied into a local of the
  // run: the output stores go through a byte pointer, which as far as the
  // compiler knows may point into this object (its address escapes to the
  // run functions) but not into a local whose address never leaves the
  // run, so these stay in registers.
  struct Steps {
    Input in;
    Output out;
    std::int32_t remaining;
    const std::int32_t stop_below;
    const std::int32_t remaining_floor;
    const std::int32_t quiet_bits_end;
  };

  // The output tests at the top of DecodeLoop as one bound on the bytes
  // still owed: the run goes on while at least `stop_below` are owed and no
  // flush is due, that is while at most `allowance` bytes have been written
  // since the run began.
  static std::int32_t RemainingFloor(std::int32_t remaining, std::int64_t allowance, std::int32_t stop_below) {
    const std::int64_t floor = static_cast<std::int64_t>(remaining) - allowance;
    return floor > stop_below ? static_cast<std::int32_t>(floor) : stop_below;
  }

  // How many more multimedia steps may follow the next one before the tests
  // of Continue can turn false: each writes one byte and reads at most
  // kMaxCodeBits bits. Called where Continue has just held (or the run has
  // just begun, where DecodeLoop's tests have).
  static std::int32_t UncheckedSteps(const Steps& h) {
    const std::int32_t by_output = h.remaining - h.remaining_floor;
    const std::int32_t by_input = (h.quiet_bits_end - h.in.BitPosition() - 1) / kMaxCodeBits;
    return by_output < by_input ? by_output : by_input;
  }

#if SFX_SSE2_PATH
  SFX_SSE2_TARGET std::uint32_t RunMultimediaSse2() { return RunMultimediaWith<true>(); }
#endif

  // The channel count as a constant of the loop, so that each channel's
  // table and predictor lie at a fixed place in a round of steps.
  template <bool kSse2>
  [[gnu::always_inline]] inline std::uint32_t RunMultimediaWith() {
    static_assert(kMaxChannels == 4);
    switch (state_.channel_count) {
      case 1:
        return RunChannels<kSse2, 1>();
      case 2:
        return RunChannels<kSse2, 2>();
      case 3:
        return RunChannels<kSse2, 3>();
      default:
        return RunChannels<kSse2, 4>();
    }
  }

  // One multimedia step on `channel`: false, with nothing written, when the
  // symbol asks for new tables. Masks the output position first (a no-op
  // where it is masked already), as the tests after the step before did.
  template <bool kSse2>
  [[gnu::always_inline]] inline bool MultimediaStep(Steps& h, int channel) {
    h.out.Mask();
    h.in.Refill();
    const std::uint32_t s = DecodeSymbol(h.in, state_.channel_tables[channel]);
    if (s == kChannelSymbolNewTables) return false;
    DeltaPredictor& predictor = state_.predictor;
#if SFX_SSE2_PATH
    if constexpr (kSse2)
      h.out.Put(predictor.DecodeDeltaSse2(channel, static_cast<std::uint8_t>(s)));
    else
      h.out.Put(predictor.DecodeDeltaPortable(channel, static_cast<std::uint8_t>(s)));
#else
    h.out.Put(predictor.DecodeDeltaPortable(channel, static_cast<std::uint8_t>(s)));
#endif
    h.remaining -= 1;
    return true;
  }

  // The multimedia steps of a run: in stretches that no test can stop
  // (UncheckedSteps), single steps up to the next round's first channel,
  // then whole rounds over kChannels channels, then single steps again.
  template <bool kSse2, int kChannels>
  [[gnu::always_inline]] inline std::uint32_t RunChannels() {
    Steps h{in_, out_, remaining_, stop_below_, remaining_floor_, quiet_bits_end_};
    int channel = state_.current_channel;
    auto single = [&]() {
      if (!MultimediaStep<kSse2>(h, channel)) return false;
      if (++channel == kChannels) channel = 0;
      return true;
    };
    do {
      std::int32_t budget = UncheckedSteps(h) + 1;
      for (; budget > 0 && channel != 0; --budget)
        if (!single()) return NewMultimediaTables(h, channel);
      for (; budget >= kChannels; budget -= kChannels) {
#pragma GCC unroll 4
        for (int c = 0; c < kChannels; ++c)
          if (!MultimediaStep<kSse2>(h, c)) return NewMultimediaTables(h, c);
      }
      for (; budget > 0; --budget)
        if (!single()) return NewMultimediaTables(h, channel);
    } while (Continue(h));
    state_.current_channel = channel;
    WriteBack(h);
    return h.out.pos;
  }

  // Ends a multimedia run at a table change read on `channel`.
  std::uint32_t NewMultimediaTables(const Steps& h, int channel) {
    state_.current_channel = channel;
    WriteBack(h);
    ReadCodeTables(state_);
    return h.out.pos;
  }

  // A literal step: the byte, then the tests of Continue.
  [[gnu::always_inline]] static bool Literal(Steps& h, std::uint32_t byte) {
    h.out.Put(static_cast<std::uint8_t>(byte));
    h.remaining -= 1;
    return Continue(h);
  }

  // The tests at the top of the next step of DecodeLoop, after a step.
  [[gnu::always_inline]] static bool Continue(Steps& h) {
    if (h.remaining < h.remaining_floor) {
      // Below stop_below the loop ends (window_pos stays unmasked) or hands
      // over; otherwise a flush is due.
      if (h.remaining >= h.stop_below) h.out.Mask();
      return false;
    }
    h.out.Mask();
    return h.in.BitPosition() < h.quiet_bits_end;
  }

  void WriteBack(const Steps& h) {
    const std::int32_t position = h.in.BitPosition();
    state_.byte_pos = position >> 3;
    state_.bit_pos = static_cast<std::uint32_t>(position) & 7;
    state_.remaining_output = h.remaining;
  }

  // A match symbol (every literal-table symbol above 255 but
  // kSymbolNewTables): its length and distance, then the copy.
  [[gnu::always_inline]] void Match(Steps& h, std::uint32_t s) {
    std::int32_t length;
    std::uint32_t distance;
    if (s >= kSymbolFirstLong) {
      const std::uint32_t c = s - kSymbolFirstLong;
      length = static_cast<std::int32_t>(kLengthBase[c] + kLongMatchBase + ReadExtraBits(h.in, kLengthBits[c]));
      const std::uint32_t d = DecodeSymbol(h.in, state_.distance_table);
      distance = kDistanceBase[d] + 1 + ReadExtraBits(h.in, kDistanceBits[d]);
      length += static_cast<std::int32_t>(LongLengthBonus(distance));
    } else if (s == kSymbolRepeatPrevious) {
      length = state_.prev_length;
      distance = state_.prev_distance;
    } else if (s < kSymbolFirstShort) {
      // The (s - kSymbolFirstRecent)-th most recent distance.
      distance = state_.distance_ring[(state_.ring_index - (s - kSymbolFirstRecent) - 1) & (kRecentDistances - 1)];
      const std::uint32_t r = DecodeSymbol(h.in, state_.repeat_table);
      length = static_cast<std::int32_t>(kLengthBase[r] + kRecentMatchBase + ReadExtraBits(h.in, kLengthBits[r]));
      length += static_cast<std::int32_t>(RecentLengthBonus(distance));
    } else {
      const std::uint32_t c = s - kSymbolFirstShort;
      distance = kShortBase[c] + 1 + ReadBits(h.in, kShortBits[c]);
      length = kShortMatchLength;
    }
    state_.distance_ring[state_.ring_index & (kRecentDistances - 1)] = distance;
    state_.ring_index += 1;
    state_.prev_distance = distance;
    state_.prev_length = length;
    h.remaining -= length;
    h.out.Copy(distance, static_cast<std::uint32_t>(length));
  }

  UnpackState& state_;
  const Input in_;
  const Output out_;
  const std::int32_t remaining_;
  const std::int32_t stop_below_;
  const std::int32_t remaining_floor_;
  const std::int32_t quiet_bits_end_;
};

// Hands `n` output bytes that a direct decode has already written to the
// output, as WriteOutput does for a chunk that fits.
void DeliverDirect(UnpackState& state, std::uint32_t n) {
  state.output_cursor += n;
  if (state.progress_sink != nullptr) state.progress_sink(state.progress_context, n);
}

// FlushWindow for a direct decode: the chunks that a flush of the window
// bytes between flushed and pos would write, in the same pieces (the span
// wraps at the window's end where the masked pos lies below the masked
// flushed position).
void FlushDirect(UnpackState& state, std::uint32_t flushed, std::uint32_t pos) {
  const std::uint32_t flushed_masked = flushed & kWindowMask;
  const std::uint32_t pos_masked = pos & kWindowMask;
  if (pos_masked < flushed_masked) {
    DeliverDirect(state, kWindowSize - flushed_masked);
    DeliverDirect(state, pos_masked);
  } else {
    DeliverDirect(state, pos_masked - flushed_masked);
  }
}

// Turns a direct decode at output byte `pos` (flushed up to `flushed`) into
// a window decode in the same state: the window gets the last kWindowSize
// output bytes at their positions modulo the window; where nothing has been
// written it keeps the zeros of the reset.
void HandOverToWindow(UnpackState& state, std::uint8_t* out_start, std::uint32_t flushed, std::uint32_t pos) {
  std::uint32_t q = pos > kWindowSize ? pos - kWindowSize : 0;
  while (q < pos) {
    const std::uint32_t at = q & kWindowMask;
    const std::uint32_t n = pos - q < kWindowSize - at ? pos - q : kWindowSize - at;
    std::memcpy(state.window + at, out_start + q, n);
    q += n;
  }
  state.window_pos = pos & kWindowMask;
  state.flushed_pos = flushed & kWindowMask;
  state.output_cursor = out_start + flushed;
}

// One DecodeRun with the chosen bit buffer; returns the output position.
template <class Output>
std::uint32_t RunSteps(UnpackState& state, Output output, std::uint32_t flushed, std::int32_t stop_below) {
  if (narrow_bit_reader) {
    DecodeRun<Output, NarrowStepInput> run(state, output, flushed, stop_below);
    return state.multimedia_mode != 0 ? run.RunMultimedia() : run.RunLz();
  }
  DecodeRun<Output, StepInput> run(state, output, flushed, stop_below);
  return state.multimedia_mode != 0 ? run.RunMultimedia() : run.RunLz();
}

// Runs the whole decode with `window` (kWindowSize bytes). With `direct`,
// the steps write straight into the output while at least kDirectMargin
// bytes are still owed, then hand over to the window for the rest; the
// output's bytes and the chunks reported are those of the window decode.
void DecodeLoop(UnpackState& state, std::uint8_t* window, bool direct) {
  state.window = window;
  ResetUnpackState(state);
  FillInputBuffer(state, true);
  ReadCodeTables(state);
  state.remaining_output -= 1;
  std::uint8_t* const out_start = state.output_cursor;
  std::uint32_t pos = 0;      // direct decode: output bytes written
  std::uint32_t flushed = 0;  // direct decode: output bytes delivered
  bool overrun = false;
  while (state.remaining_output >= 0) {
    if (direct && state.remaining_output < kDirectMargin) {
      HandOverToWindow(state, out_start, flushed, pos);
      direct = false;
    }
    if (!direct) state.window_pos &= kWindowMask;
    if (state.byte_pos > kStepRefill) FillInputBuffer(state, false);
    if (state.byte_pos >= state.input_end && InputOverrun(state)) {
      overrun = true;
      break;
    }
    if (direct) {
      if (DirectOutput{out_start, pos}.FlushDue(flushed)) {
        FlushDirect(state, flushed, pos);
        flushed = pos;
      }
      pos = RunSteps(state, DirectOutput{out_start, pos}, flushed, kDirectMargin);
      continue;
    }
    if (WindowOutput{state.window, state.window_pos}.FlushDue(state.flushed_pos)) FlushWindow(state);
    state.window_pos = RunSteps(state, WindowOutput{state.window, state.window_pos}, state.flushed_pos, 0);
  }
  if (!overrun) ReadTrailingTables(state);
  if (direct)
    FlushDirect(state, flushed, pos);
  else
    FlushWindow(state);
}

// UnpackPayload and UnpackImage.
bool Unpack(UnpackState& state, const std::uint8_t* stream_start, const std::uint8_t* stream_end,
            std::uint8_t* out_start, std::uint8_t* out_end, bool direct) {
  std::uint8_t* window = new (std::nothrow) std::uint8_t[kWindowSize];
  if (window == nullptr) return false;
  state.stream_cursor = stream_start;
  state.stream_end = stream_end;
  state.output_end = out_end;
  state.output_cursor = out_start;
  state.remaining_output = static_cast<std::int32_t>(out_end - out_start);
  DecodeLoop(state, window, direct);
  delete[] window;
  state.window = nullptr;
  return true;
}

}  // namespace

void UseNarrowBitReader(bool narrow) { narrow_bit_reader = narrow; }

void UnpackStateDeleter::operator()(UnpackState* state) const { delete state; }

UnpackStatePtr NewUnpackState() { return UnpackStatePtr(new (std::nothrow) UnpackState()); }

void SetProgressSink(UnpackState& state, ProgressSink sink, void* context) {
  state.progress_sink = sink;
  state.progress_context = context;
}

bool UnpackPayload(UnpackState& state, const std::uint8_t* stream_start, const std::uint8_t* stream_end,
                   std::uint8_t* out_start, std::uint8_t* out_end) {
  return Unpack(state, stream_start, stream_end, out_start, out_end, false);
}

bool UnpackImage(UnpackState& state, const std::uint8_t* stream_start, const std::uint8_t* stream_end,
                 std::uint8_t* out_start, std::uint8_t* out_end) {
  if (!Unpack(state, stream_start, stream_end, out_start, out_end, true)) return false;
  // Bytes that were never delivered read as in a zeroed buffer.
  if (out_end != state.output_cursor)  // an empty output may have a null start
    std::memset(state.output_cursor, 0, static_cast<std::size_t>(out_end - state.output_cursor));
  return true;
}

}  // namespace sfx
