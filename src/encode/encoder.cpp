// The encoder's driver: cuts the input into chunks, decides per chunk
// between LZ and multimedia coding (and the channel count), groups chunks
// into blocks that share code tables, and writes each block when it closes.
//
// Two stages: a ChunkPlanner decides and parses chunk by chunk; a
// BlockAssembler takes the decisions in input order, groups them into
// blocks and writes them. The fast levels plan the whole input in one
// stretch and assemble each chunk at once. The best levels (optimal parse)
// plan 2 MiB segments independently, on worker threads when asked, each
// with the window before it as match history, and assemble them in order;
// the cut does not depend on the number of threads, so neither does the
// stream.
//
// A chunk of compressed or random data (nearly eight bits of byte entropy
// and almost nothing that repeats, judged from a cheap scan for repeats of
// eight bytes within the window) is not parsed: it is sent as literals with codes from its
// own byte counts, in blocks of its own, which is as small as a parse would
// get and far quicker, and it is only indexed for later matches.
//
// Per chunk: the LZ parse (which also indexes the chunk for later matches)
// and, where a quick look at the byte statistics suggests it, the multimedia
// predictor for likely channel counts are run on copies of the decoder state
// the encoder mirrors (recent distances, predictors). Their estimated sizes
// (order-0 entropy of the symbols plus extra bits, plus a table's cost when a
// new block would be needed) decide; the winner's state is kept. To save
// time, the fast levels parse chunks that may well be multimedia with a quick
// greedy search only, and take a chunk that clearly continues a multimedia
// stream without parsing it (every few chunks the full comparison runs
// again). At the best levels, where LZ and multimedia came close (speech
// with short pauses), the following chunks are smaller, so that each stretch
// gets the coding that suits it. An LZ chunk also starts a new block when
// the symbol statistics of the chunk differ enough from the open block's
// that a new table pays for itself. Blocks are bounded in size, so memory
// does not grow with the input.
#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <stdexcept>
#include <thread>

#include "encode/bit_writer.h"
#include "encode/block_writer.h"
#include "encode/encoder.h"
#include "encode/lz_counts.h"
#include "encode/lz_parser.h"
#include "encode/match_history.h"
#include "encode/prefix_code.h"
#include "encode/stream_encoder.h"
#include "encode/table_writer.h"
#include "format/delta_predictor.h"

namespace sfx {
namespace {

using namespace encode;

constexpr std::uint32_t kChunkSize = 32 * 1024;
// From this level on, a chunk where LZ and multimedia came within
// kCloseCall of each other is followed by chunks of kFineChunkSize.
constexpr int kFirstFineLevel = 7;
constexpr std::uint32_t kFineChunkSize = 4 * 1024;
constexpr double kCloseCall = 1.25;
constexpr std::uint32_t kMaxBlockInput = 2 * 1024 * 1024;
// Blocks of literals only hold no tokens; larger ones save tables.
constexpr std::uint32_t kMaxLiteralBlockInput = 8 * 1024 * 1024;
// A chunk is taken as incompressible from this order-0 entropy per byte on,
// when fewer than one byte in kRepeatShare seems to repeat earlier data.
// Repeats are found through a table of every kRepeatStep-th position of the
// window keyed by its next eight bytes, looked up at every position: a
// repeat of kRepeatStep + 7 bytes or more covers a remembered position.
constexpr double kIncompressibleBits = 7.5;
// The optimal parse of the best levels still finds a little in data just
// below eight bits (compressed resources among code): there only chunks
// this close to random are sent as bare literals.
constexpr int kFirstOptimalParseLevel = 7;
constexpr double kIncompressibleBitsBest = 7.97;
constexpr std::uint32_t kRepeatShare = 512;
constexpr std::uint32_t kRepeatStep = 4;
constexpr int kRepeatTableBits = 17;
// Rough table costs used when deciding whether a new block pays.
constexpr double kLzTableBits = 900;
constexpr double kChannelTableBits = 600;
// Levels up to this one skip the LZ parse of chunks that clearly continue a
// multimedia stream (ClearlyMoreOfTheSame): multimedia must have needed at
// most kClearMargin of the LZ bits, and a full comparison runs at least
// every kMaxSkippedInARow + 1 chunks.
constexpr int kLastSkippingLevel = 6;
constexpr double kClearMargin = 0.8;
constexpr int kMaxSkippedInARow = 7;
// The decoder's output counter is a signed 32-bit number.
constexpr std::size_t kMaxInput = 0x7FFFFFFF;

// The block being collected: LZ tokens or multimedia deltas.
struct OpenBlock {
  int channels = -1;  // -1 none, 0 LZ, 1..4 multimedia
  std::uint32_t input_bytes = 0;
  // An LZ block of literals only: the input [literal_begin, literal_end),
  // no tokens.
  bool literals_only = false;
  std::uint32_t literal_begin = 0;
  std::uint32_t literal_end = 0;
  std::vector<Token> tokens;
  LzCounts counts;
  int start_channel = 0;
  std::vector<std::uint8_t> deltas;
  std::uint32_t delta_counts[kMaxChannels][kChannelSymbols] = {};
};

// A trial run of the predictor over one chunk.
struct MultimediaTrial {
  int channels = 0;
  int start_channel = 0;
  DeltaPredictor predictor;
  std::vector<std::uint8_t> deltas;
  std::uint32_t counts[kMaxChannels][kChannelSymbols] = {};
  double bits = 0;
};

double OrderZeroBits(const std::uint32_t* counts, int n) {
  return EntropyBits(std::span<const std::uint32_t>(counts, static_cast<std::size_t>(n)));
}

// Like OrderZeroBits, but no symbol below one bit, as a prefix code sends
// it: a silence has near-zero entropy as deltas, yet costs a bit a byte.
double PrefixCodedBits(const std::uint32_t* counts, int n) {
  double total = 0;
  for (int s = 0; s < n; ++s) total += counts[s];
  double bits = 0;
  for (int s = 0; s < n; ++s) {
    if (counts[s] != 0) bits += counts[s] * std::max(1.0, std::log2(total / counts[s]));
  }
  return bits;
}

constexpr std::uint32_t kSampleRun = 96;  // a multiple of 1, 2, 3 and 4 channels' samples

// Channel counts worth a full predictor trial: those whose byte differences
// at that stride are clearly more predictable than the bytes themselves.
std::vector<int> MultimediaCandidates(const std::uint8_t* data, std::uint32_t begin, std::uint32_t end) {
  std::vector<int> result;
  const std::uint32_t n = end - begin;
  if (n < 1024) return result;
  std::uint32_t raw[256] = {};
  std::uint32_t diff[4][256] = {};
  // Every other run of kSampleRun bytes is enough for a statistic of this
  // kind; runs are whole so that every byte lane of a sample is seen.
  std::uint32_t sampled = 0;
  for (std::uint32_t run = std::max<std::uint32_t>(begin, 4); run < end; run += 2 * kSampleRun) {
    const std::uint32_t run_end = std::min(run + kSampleRun, end);
    for (std::uint32_t i = run; i < run_end; ++i) {
      ++raw[data[i]];
      ++diff[0][static_cast<std::uint8_t>(data[i] - data[i - 1])];
      ++diff[1][static_cast<std::uint8_t>(data[i] - data[i - 2])];
      ++diff[2][static_cast<std::uint8_t>(data[i] - data[i - 3])];
      ++diff[3][static_cast<std::uint8_t>(data[i] - data[i - 4])];
    }
    sampled += run_end - run;
  }
  const double raw_bits = OrderZeroBits(raw, 256) / sampled;
  std::array<std::pair<double, int>, 4> scored;
  for (int c = 1; c <= 4; ++c) scored[static_cast<std::size_t>(c - 1)] = {OrderZeroBits(diff[c - 1], 256) / sampled, c};
  std::sort(scored.begin(), scored.end());
  for (const auto& [bits, c] : scored) {
    if (bits < raw_bits - 0.25 && bits < 7.5 && result.size() < 2) result.push_back(c);
  }
  return result;
}

// A multimedia trial from `predictor` with the decoder's `current_channel`
// and the open block's channel count (-1 none, 0 LZ).
MultimediaTrial RunTrial(const std::uint8_t* data, const DeltaPredictor& predictor, int open_channels,
                         int current_channel, int channels, std::uint32_t begin, std::uint32_t end) {
  MultimediaTrial t;
  t.channels = channels;
  // A new multimedia table keeps the decoder's channel only while it
  // names a channel of the new block.
  t.start_channel = open_channels == channels ? current_channel : (current_channel < channels ? current_channel : 0);
  t.predictor = predictor;
  t.deltas.resize(end - begin);
  t.predictor.EncodeRun(channels, t.start_channel, data + begin, end - begin, t.deltas.data(), t.counts);
  for (int c = 0; c < channels; ++c) t.bits += PrefixCodedBits(t.counts[c], kChannelSymbols);
  return t;
}

// What the planner chose for one chunk: LZ tokens, or multimedia coding
// with a channel count (and the trial that measured it).
struct ChunkPlan {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
  int channels = 0;            // 0 LZ, 1..4 multimedia
  bool literals_only = false;  // LZ without tokens: every byte a literal (counts has them)
  std::vector<Token> tokens;
  LzCounts counts;
  MultimediaTrial trial;
};

// Decides chunk by chunk over one segment [begin, end) of the input between
// LZ and multimedia coding, with the parse of every LZ chunk, and hands each
// decision to `sink` in order. Its mirrors of the decoder's state (recent
// distances, predictors, channel) start from the reset state at the
// segment's start; the LZ tokens are valid from any history (a recent
// distance is used only once the segment's own matches have put it into the
// ring), and multimedia chunks of a later segment are coded again by the
// assembler from the real predictor state. The match finder is primed with
// the window before the segment, so matches reach back into it.
class ChunkPlanner {
 public:
  // `parser` (made for this data and level) is restarted for the segment;
  // reusing one per worker keeps its large tables from being allocated and
  // freed once a segment.
  ChunkPlanner(const std::uint8_t* data, std::size_t size, LzParser& parser, const EncodeOptions& options,
               std::uint32_t begin)
      : data_(data), size_(size), options_(options), level_(std::clamp(options.level, 1, 9)), parser_(parser) {
    parser_.Restart(begin > kMaxDistance ? begin - kMaxDistance : 0);
    prices_.Initial();
  }

  template <class Sink>
  void Run(std::uint32_t begin, std::uint32_t end, Sink&& sink) {
    parser_.Skip(begin, begin);
    WarmUpMultimedia(begin);
    for (std::uint32_t chunk = begin; chunk < end;) {
      const std::uint32_t chunk_end = std::min<std::uint32_t>(end - chunk, next_chunk_) + chunk;
      sink(PlanChunk(chunk, chunk_end));
      chunk = chunk_end;
    }
  }

 private:
  ChunkPlan PlanChunk(std::uint32_t begin, std::uint32_t end) {
    ChunkPlan plan;
    plan.begin = begin;
    plan.end = end;
    const std::vector<int> candidates =
        options_.allow_multimedia ? MultimediaCandidates(data_, begin, end) : std::vector<int>{};
    if (candidates.empty() && Incompressible(begin, end, plan.counts)) {
      parser_.SkipIncompressible(begin, end);
      TakeLiterals(plan);
      return plan;
    }
    std::vector<MultimediaTrial> trials;
    // The fast levels try only the most likely channel count.
    const std::size_t max_trials = level_ <= 3 ? 1 : 2;
    for (int c : candidates) {
      if (trials.size() < max_trials)
        trials.push_back(RunTrial(data_, predictor_, open_channels_, current_channel_, c, begin, end));
    }
    if (const MultimediaTrial* t = ClearlyMoreOfTheSame(trials)) {
      // The LZ parse would only confirm the last decision: index the chunk
      // for later matches and keep the multimedia coding.
      parser_.Skip(begin, end);
      ++skipped_in_a_row_;
      last_trial_bits_per_byte_ = t->bits / (end - begin);
      TakeMultimedia(plan, *t);
      return plan;
    }
    skipped_in_a_row_ = 0;
    std::vector<Token> tokens;
    MatchHistory history = history_;
    LzPrices prices = prices_;
    // Where multimedia is on the table and won recently, a quick LZ parse is
    // enough to decide (and to code the chunk if LZ still wins). The optimal
    // parse of the best levels ignores this.
    const bool light = !trials.empty() && (recent_multimedia_ & 0xF) != 0;
    parser_.Parse(begin, end, history, prices, tokens, light);
    LzCounts counts;
    for (const Token& t : tokens) counts.Add(t);
    const double lz_bits = counts.EstimateBits() + (open_channels_ == 0 ? 0.0 : kLzTableBits);

    const MultimediaTrial* best = nullptr;
    double best_bits = lz_bits;
    for (const MultimediaTrial& t : trials) {
      const double bits = t.bits + (open_channels_ == t.channels ? 0.0 : kChannelTableBits * t.channels);
      if (bits < best_bits) {
        best_bits = bits;
        best = &t;
      }
    }
    // Close calls between LZ and multimedia (speech with short pauses,
    // mixed data) are decided on smaller chunks at the best levels.
    double best_trial_bits = 0;
    for (const MultimediaTrial& t : trials)
      best_trial_bits = best_trial_bits == 0 ? t.bits : std::min(best_trial_bits, t.bits);
    const double balance = best_trial_bits / std::max(lz_bits, 1.0);
    recent_close_calls_ =
        (recent_close_calls_ << 1) | (!trials.empty() && balance > 1 / kCloseCall && balance < kCloseCall ? 1u : 0u);
    next_chunk_ = level_ >= kFirstFineLevel && (recent_close_calls_ & 0xFFFF) != 0 ? kFineChunkSize : kChunkSize;
    // Remember how clearly multimedia won, for ClearlyMoreOfTheSame.
    lz_margin_ = best != nullptr ? best->bits / std::max(counts.EstimateBits(), 1.0) : 1.0;
    last_trial_bits_per_byte_ = best != nullptr ? best->bits / (end - begin) : 0.0;
    recent_multimedia_ = (recent_multimedia_ << 1) | (best != nullptr ? 1u : 0u);
    if (best != nullptr) {
      TakeMultimedia(plan, *best);
    } else {
      history_ = history;
      prices_ = prices;
      open_channels_ = 0;
      plan.channels = 0;
      plan.tokens = std::move(tokens);
      plan.counts = counts;
    }
    return plan;
  }

  // Whether [begin, end) looks like compressed or random data; fills
  // `counts` with its bytes as literals either way.
  bool Incompressible(std::uint32_t begin, std::uint32_t end, LzCounts& counts) {
    const std::uint32_t n = end - begin;
    for (std::uint32_t i = begin; i < end; ++i) ++counts.literal[data_[i]];
    const double bits = level_ >= kFirstOptimalParseLevel ? kIncompressibleBitsBest : kIncompressibleBits;
    if (n < 1024 || EntropyBits(std::span<const std::uint32_t>(counts.literal, 256)) < bits * n) return false;
    RememberEights(eights_done_, begin);
    // Each remembered position inside a repeat is found once (where a
    // later one has not taken its slot). The tag spares the data load for
    // most slots that hold other bytes.
    std::uint32_t repeated = 0;
    for (std::uint32_t i = begin; i + 8 <= end; ++i) {
      const std::uint64_t v = Load64(i);
      std::uint64_t& slot = recent_eights_[EightHash(v)];
      const auto at = static_cast<std::uint32_t>(slot);
      if ((slot >> 32) == EightTag(v) && at != 0 && i - (at - 1) <= kMaxDistance && Load64(at - 1) == v)
        repeated += kRepeatStep;
      if (i % kRepeatStep == 0) slot = (std::uint64_t{EightTag(v)} << 32) | (i + 1);
    }
    eights_done_ = std::max(begin, end - 7);
    return repeated < n / kRepeatShare;
  }

  std::uint64_t Load64(std::uint32_t pos) const {
    std::uint64_t v;
    std::memcpy(&v, data_ + pos, sizeof v);
    return v;
  }
  static std::uint32_t EightHash(std::uint64_t v) {
    return static_cast<std::uint32_t>((v * 0x9E3779B97F4A7C15u) >> (64 - kRepeatTableBits));
  }
  static std::uint32_t EightTag(std::uint64_t v) { return static_cast<std::uint32_t>(v ^ (v >> 32)); }

  // Brings the table of Incompressible up to `pos`: remembers the positions
  // of the window before it that it has not seen yet.
  void RememberEights(std::uint32_t from, std::uint32_t pos) {
    if (recent_eights_.empty()) recent_eights_.assign(std::size_t{1} << kRepeatTableBits, 0);
    from = std::max(from, pos > kMaxDistance ? pos - kMaxDistance : 0);
    from = (from + kRepeatStep - 1) / kRepeatStep * kRepeatStep;
    for (std::uint32_t i = from; i < pos && i + 8 <= size_; i += kRepeatStep) {
      const std::uint64_t v = Load64(i);
      recent_eights_[EightHash(v)] = (std::uint64_t{EightTag(v)} << 32) | (i + 1);
    }
  }

  void TakeLiterals(ChunkPlan& plan) {
    plan.channels = 0;
    plan.literals_only = true;
    open_channels_ = 0;
    skipped_in_a_row_ = 0;
    lz_margin_ = 1.0;
    last_trial_bits_per_byte_ = 0.0;
    recent_multimedia_ <<= 1;
    recent_close_calls_ <<= 1;
    next_chunk_ = level_ >= kFirstFineLevel && (recent_close_calls_ & 0xFFFF) != 0 ? kFineChunkSize : kChunkSize;
  }

  // A segment that starts inside audio or pixels: run the predictor over
  // the chunk before the cut with its likeliest channel count, so that the
  // first trials see adapted weights and the open kind is multimedia, much
  // as they would be without the cut; the first chunks are small ones, as
  // after a close call, until the planner has its own view of the data.
  void WarmUpMultimedia(std::uint32_t begin) {
    if (begin == 0 || !options_.allow_multimedia) return;
    const std::uint32_t from = begin - std::min(begin, kChunkSize);
    const std::vector<int> candidates = MultimediaCandidates(data_, from, begin);
    if (candidates.empty()) return;
    const MultimediaTrial t = RunTrial(data_, predictor_, open_channels_, current_channel_, candidates[0], from, begin);
    ChunkPlan unused;
    unused.begin = from;
    unused.end = begin;
    TakeMultimedia(unused, t);
    recent_multimedia_ = 1;
    recent_close_calls_ = 1;
    next_chunk_ = level_ >= kFirstFineLevel ? kFineChunkSize : kChunkSize;
  }

  void TakeMultimedia(ChunkPlan& plan, const MultimediaTrial& t) {
    predictor_ = t.predictor;
    open_channels_ = t.channels;
    current_channel_ = static_cast<int>((static_cast<std::uint32_t>(t.start_channel) + (plan.end - plan.begin)) %
                                        static_cast<std::uint32_t>(t.channels));
    plan.channels = t.channels;
    plan.trial = t;
  }

  // At the fast levels, a trial that continues the open multimedia block
  // with statistics close to the previous chunk's, where multimedia beat the
  // LZ parse by a wide margin, is taken without parsing the chunk. Every few
  // chunks, and whenever the signal changes (a silence, another kind of
  // data), the full comparison runs again. Returns null when the parse must run.
  const MultimediaTrial* ClearlyMoreOfTheSame(const std::vector<MultimediaTrial>& trials) const {
    if (level_ > kLastSkippingLevel || trials.empty() || lz_margin_ > kClearMargin) return nullptr;
    if (skipped_in_a_row_ >= kMaxSkippedInARow) return nullptr;
    const MultimediaTrial* best = &trials[0];
    for (const MultimediaTrial& t : trials) {
      if (t.bits < best->bits) best = &t;
    }
    if (best->channels != open_channels_) return nullptr;
    const double per_byte = best->bits / static_cast<double>(best->deltas.size());
    if (per_byte < last_trial_bits_per_byte_ * 0.85 || per_byte > last_trial_bits_per_byte_ * 1.15) return nullptr;
    return best;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  const EncodeOptions& options_;
  int level_;
  LzParser& parser_;
  MatchHistory history_;
  LzPrices prices_;
  DeltaPredictor predictor_;
  int open_channels_ = -1;   // kind of the last chunk: -1 none yet, 0 LZ, 1..4 multimedia
  int current_channel_ = 0;  // the decoder's channel for the next multimedia byte
  std::uint32_t next_chunk_ = kChunkSize;
  std::uint32_t recent_close_calls_ = 0;  // bit k: chunk k + 1 back was a close call
  // Multimedia bits / LZ bits of the last chunk where both were estimated
  // (1 when LZ won), and the winner's multimedia bits per byte.
  double lz_margin_ = 1.0;
  double last_trial_bits_per_byte_ = 0.0;
  int skipped_in_a_row_ = 0;             // chunks taken as multimedia without an LZ parse
  std::uint32_t recent_multimedia_ = 0;  // bit k: the chunk k + 1 back was sent as multimedia
  // Incompressible: per hash of eight bytes, a tag of them (high half) and
  // the last position + 1 that had them (every kRepeatStep-th position),
  // up to eights_done_.
  std::vector<std::uint64_t> recent_eights_;
  std::uint32_t eights_done_ = 0;
};

// Bits of the symbols and extra bits of `counts` under the prefix codes
// built from them (whose lengths, in table layout, go to `lengths`); the
// table itself is not counted.
double CodedLzBits(const LzCounts& counts, std::uint8_t* lengths) {
  BuildCodeLengths(counts.literal, kMaxCodeBits, lengths);
  BuildCodeLengths(counts.distance, kMaxCodeBits, lengths + kLiteralSymbols);
  BuildCodeLengths(counts.repeat, kMaxCodeBits, lengths + kLiteralSymbols + kDistanceSymbols);
  std::uint64_t bits = counts.extra_bits;
  for (int i = 0; i < kLiteralSymbols; ++i) bits += std::uint64_t{counts.literal[i]} * lengths[i];
  for (int i = 0; i < kDistanceSymbols; ++i) bits += std::uint64_t{counts.distance[i]} * lengths[kLiteralSymbols + i];
  for (int i = 0; i < kRepeatSymbols; ++i)
    bits += std::uint64_t{counts.repeat[i]} * lengths[kLiteralSymbols + kDistanceSymbols + i];
  return static_cast<double>(bits);
}

// Groups planned chunks, in input order, into blocks that share code tables
// and writes each block when it closes. Mirrors the decoder's multimedia
// state across the whole stream.
class BlockAssembler {
 public:
  BlockAssembler(const std::uint8_t* data, std::vector<std::uint8_t>& out, EncodeStats* stats)
      : stats_(stats), data_(data), writer_(out) {}

  // Adds a chunk. `exact`: a multimedia plan was measured from the real
  // predictor state (the first segment), so its deltas can be taken as
  // they are; otherwise the chunk is coded again from this state.
  void Add(ChunkPlan& plan, bool exact) {
    if (plan.literals_only) {
      AddLiteralChunk(plan.begin, plan.end, plan.counts);
    } else if (plan.channels == 0) {
      AddLzChunk(std::move(plan.tokens), plan.counts, plan.end - plan.begin);
    } else if (exact) {
      AddMultimediaChunk(plan.trial, plan.end - plan.begin);
    } else {
      const MultimediaTrial t =
          RunTrial(data_, predictor_, block_.channels, current_channel_, plan.channels, plan.begin, plan.end);
      AddMultimediaChunk(t, plan.end - plan.begin);
    }
  }

  void Finish() {
    if (block_.channels < 0) block_.channels = 0;  // empty input: one LZ table
    CloseBlock(false);
    writer_.Flush();
  }

 private:
  void AddMultimediaChunk(const MultimediaTrial& t, std::uint32_t bytes) {
    bool split = block_.channels != t.channels || block_.input_bytes + bytes > kMaxBlockInput;
    if (!split) {
      // Same test as for LZ blocks: new tables when the delta statistics
      // have moved far enough (louder or quieter audio, another picture).
      double separate = kChannelTableBits * t.channels, merged = 0;
      for (int c = 0; c < t.channels; ++c) {
        std::uint32_t sum[kChannelSymbols];
        for (int s = 0; s < kChannelSymbols; ++s) sum[s] = block_.delta_counts[c][s] + t.counts[c][s];
        separate +=
            OrderZeroBits(block_.delta_counts[c], kChannelSymbols) + OrderZeroBits(t.counts[c], kChannelSymbols);
        merged += OrderZeroBits(sum, kChannelSymbols);
      }
      split = separate < merged;
    }
    if (split) {
      CloseBlock(true);
      block_.channels = t.channels;
      block_.start_channel = t.start_channel;
    }
    predictor_ = t.predictor;
    block_.deltas.insert(block_.deltas.end(), t.deltas.begin(), t.deltas.end());
    for (int c = 0; c < t.channels; ++c) {
      for (int s = 0; s < kChannelSymbols; ++s) block_.delta_counts[c][s] += t.counts[c][s];
    }
    block_.input_bytes += bytes;
    current_channel_ = static_cast<int>((static_cast<std::uint32_t>(t.start_channel) + bytes) %
                                        static_cast<std::uint32_t>(t.channels));
  }

  // Literals only: they extend an open block of literals; they join an LZ
  // block of tokens when one table for both costs less than two.
  void AddLiteralChunk(std::uint32_t begin, std::uint32_t end, const LzCounts& counts) {
    const std::uint32_t bytes = end - begin;
    if (block_.channels == 0 && block_.literals_only && block_.literal_end == begin &&
        block_.input_bytes + bytes <= kMaxLiteralBlockInput) {
      block_.literal_end = end;
      block_.counts.Add(counts);
      block_.input_bytes += bytes;
      return;
    }
    if (block_.channels == 0 && !block_.literals_only && !block_.tokens.empty() &&
        block_.input_bytes + bytes <= kMaxBlockInput) {
      LzCounts merged = block_.counts;
      merged.Add(counts);
      if (merged.EstimateBits() <= block_.counts.EstimateBits() + counts.EstimateBits() + kLzTableBits) {
        for (std::uint32_t i = begin; i < end; ++i) block_.tokens.push_back({0, 1, TokenKind::kLiteral, data_[i]});
        block_.counts = merged;
        block_.input_bytes += bytes;
        return;
      }
    }
    CloseBlock(true);
    block_.channels = 0;
    block_.literals_only = true;
    block_.literal_begin = begin;
    block_.literal_end = end;
    block_.counts = counts;
    block_.input_bytes = bytes;
  }

  void AddLzChunk(std::vector<Token> tokens, const LzCounts& counts, std::uint32_t bytes) {
    bool split = block_.channels != 0 || block_.literals_only || block_.input_bytes + bytes > kMaxBlockInput;
    if (!split && !block_.tokens.empty()) {
      // Priced with the codes that would really be built: the chunk on its
      // own pays its symbols under its own code plus a table sent as
      // differences from the open block's; merged, every symbol of both
      // pays under the common code.
      LzCounts merged = block_.counts;
      merged.Add(counts);
      std::uint8_t block_lengths[kLzTableSize];
      std::uint8_t chunk_lengths[kLzTableSize];
      std::uint8_t merged_lengths[kLzTableSize];
      const double separate = CodedLzBits(block_.counts, block_lengths) + CodedLzBits(counts, chunk_lengths);
      const double together = CodedLzBits(merged, merged_lengths);
      TableHistory after_block;
      std::copy(block_lengths, block_lengths + kLzTableSize, after_block.lengths);
      after_block.size = kLzTableSize;
      split = separate + CodeTablesCostBits(0, chunk_lengths, kLzTableSize, after_block) < together;
    }
    if (split) {
      CloseBlock(true);
      block_.channels = 0;
    }
    if (block_.tokens.empty()) {
      block_.tokens = std::move(tokens);
    } else {
      block_.tokens.insert(block_.tokens.end(), tokens.begin(), tokens.end());
    }
    block_.counts.Add(counts);
    block_.input_bytes += bytes;
  }

  // Writes the open block, if any; `followed` when another block comes.
  void CloseBlock(bool followed) {
    if (stats_ != nullptr && block_.channels >= 0) {
      ++stats_->blocks[block_.channels];
    }
    if (block_.channels == 0 && block_.literals_only) {
      WriteLiteralBlock(writer_, data_ + block_.literal_begin, block_.literal_end - block_.literal_begin, block_.counts,
                        followed, tables_);
    } else if (block_.channels == 0) {
      WriteLzBlock(writer_, block_.tokens, block_.counts, followed, tables_);
    } else if (block_.channels > 0) {
      WriteMultimediaBlock(writer_, block_.channels, block_.start_channel, block_.deltas, followed, tables_);
    }
    block_ = OpenBlock{};
    if (stats_ != nullptr) stats_->tables_kept = tables_.kept_reads;
  }

  EncodeStats* stats_;
  const std::uint8_t* data_;
  BitWriter writer_;
  TableHistory tables_;
  DeltaPredictor predictor_;
  int current_channel_ = 0;  // the decoder's channel for the next multimedia byte
  OpenBlock block_;
};

// The levels with the optimal parse cut the input into segments of this
// size, planned independently (in parallel when threads are given). The
// cut does not depend on the thread count, so neither does the output.
constexpr int kFirstSegmentedLevel = 7;
constexpr std::uint32_t kSegmentSize = 2 * 1024 * 1024;

// Plans the segments on `threads` workers and assembles them in order; at
// most a few segments beyond the one being assembled are planned ahead, so
// memory stays bounded whatever the input size.
void EncodeSegments(const std::uint8_t* data, std::uint32_t size, const EncodeOptions& options, unsigned threads,
                    BlockAssembler& assembler) {
  const std::uint32_t segments = (size + kSegmentSize - 1) / kSegmentSize;
  const LevelParams params = ParamsForLevel(options.level);
  auto plan_segment = [&](std::uint32_t k, LzParser& parser) {
    const std::uint32_t begin = k * kSegmentSize;
    const std::uint32_t end = std::min<std::uint64_t>(std::uint64_t{begin} + kSegmentSize, size);
    std::vector<ChunkPlan> plans;
    ChunkPlanner planner(data, size, parser, options, begin);
    planner.Run(begin, end, [&](ChunkPlan&& plan) { plans.push_back(std::move(plan)); });
    return plans;
  };
  auto assemble = [&](std::vector<ChunkPlan>& plans, std::uint32_t k) {
    for (ChunkPlan& plan : plans) {
      assembler.Add(plan, k == 0);
      if (options.progress) options.progress(plan.end, size);
    }
  };
  if (threads <= 1 || segments <= 1) {
    LzParser parser(data, size, params);
    for (std::uint32_t k = 0; k < segments; ++k) {
      std::vector<ChunkPlan> plans = plan_segment(k, parser);
      assemble(plans, k);
    }
    return;
  }

  const std::uint32_t ahead = threads + 1;  // segments planned beyond the one assembled
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::vector<ChunkPlan>> done(segments);
  std::vector<char> ready(segments, 0);
  std::uint32_t next = 0;       // next segment to hand to a worker
  std::uint32_t assembled = 0;  // segments assembled so far
  bool stop = false;
  std::exception_ptr failure;
  auto work = [&] {
    std::unique_ptr<LzParser> parser;
    for (;;) {
      std::uint32_t k;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || next >= segments || next < assembled + ahead; });
        if (stop || next >= segments) return;
        k = next++;
      }
      try {
        if (!parser) parser = std::make_unique<LzParser>(data, size, params);
        std::vector<ChunkPlan> plans = plan_segment(k, *parser);
        std::lock_guard lock(mutex);
        done[k] = std::move(plans);
        ready[k] = 1;
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!failure) failure = std::current_exception();
        stop = true;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < std::min<unsigned>(threads, segments); ++i) workers.emplace_back(work);
  try {
    for (std::uint32_t k = 0; k < segments; ++k) {
      std::vector<ChunkPlan> plans;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || ready[k] != 0; });
        if (stop) break;
        plans = std::move(done[k]);
      }
      assemble(plans, k);
      {
        std::lock_guard lock(mutex);
        assembled = k + 1;
      }
      changed.notify_all();
    }
  } catch (...) {
    std::lock_guard lock(mutex);
    if (!failure) failure = std::current_exception();
    stop = true;
  }
  {
    std::lock_guard lock(mutex);
    stop = true;
  }
  changed.notify_all();
  for (std::thread& w : workers) w.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

namespace encode {

std::vector<std::uint8_t> CompressStreamWithStats(const std::uint8_t* data, std::size_t size,
                                                  const EncodeOptions& options, EncodeStats* stats) {
  if (size > kMaxInput) throw std::length_error("input too large for the stream format (at most 2 GiB - 1 bytes)");
  if (stats != nullptr) *stats = EncodeStats{};
  std::vector<std::uint8_t> out;
  // Room for incompressible input from the start: growing by copying would
  // hold two buffers of nearly the input's size at once. Untouched capacity
  // costs address space only.
  try {
    out.reserve(size + size / 128 + 4096);
  } catch (const std::bad_alloc&) {
    out.reserve(size / 3 + 1024);
  }
  BlockAssembler assembler(data, out, stats);
  const auto n = static_cast<std::uint32_t>(size);
  if (std::clamp(options.level, 1, 9) >= kFirstSegmentedLevel) {
    EncodeSegments(data, n, options, std::max(1u, options.threads), assembler);
  } else {
    // The fast levels plan the whole input as one segment and assemble each
    // chunk as soon as it is planned.
    LzParser parser(data, size, ParamsForLevel(options.level));
    ChunkPlanner planner(data, size, parser, options, 0);
    planner.Run(0, n, [&](ChunkPlan&& plan) {
      assembler.Add(plan, true);
      if (options.progress) options.progress(plan.end, n);
    });
  }
  assembler.Finish();
  return out;
}

}  // namespace encode

std::vector<std::uint8_t> CompressStream(const std::uint8_t* data, std::size_t size, const EncodeOptions& options) {
  return encode::CompressStreamWithStats(data, size, options, nullptr);
}

}  // namespace sfx
