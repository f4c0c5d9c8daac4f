// The decoding loop against its stepwise form. DecodeLoop runs LZ steps in
// batches with the hot fields held in locals and copies matches in pieces;
// DecodeLoopStepwise runs one step per pass with every top-of-step test.
// For every input, valid or not, both must leave the same output bytes, the
// same progress chunks in the same order, and the same decoder state.
// Inputs: encoder streams of several kinds of data (also longer than the
// window, so flushes and wrapping copies occur), the same streams truncated,
// bit-flipped or asked for the wrong output size, and random bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "encode/encoder.h"
#include "payload/crc32.h"
#include "unit/unpack/stream_builder.h"
#include "unpack/lz_decoder.h"
#include "unpack/unpack_state.h"

namespace sfx {
namespace {

using test::Bytes;

// Everything a decode leaves behind that the two loops must agree on.
struct LoopOutcome {
  Bytes output;
  std::vector<std::uint32_t> reports;
  std::int32_t byte_pos = 0;
  std::uint32_t bit_pos = 0;
  std::uint32_t window_pos = 0;
  std::uint32_t flushed_pos = 0;
  std::int32_t remaining_output = 0;
  std::int32_t prev_length = 0;
  std::uint32_t prev_distance = 0;
  std::uint32_t ring_index = 0;
  std::uint32_t distance_ring[4] = {};
  std::uint32_t scramble_key = 0;
  std::uint32_t multimedia_mode = 0;
  std::int32_t current_channel = 0;
  Bytes window;
};

// Runs one loop the way UnpackPayload sets it up, on an exact-size copy of
// the stored stream and a 0xEE-filled output buffer.
LoopOutcome RunLoop(const Bytes& stored, std::size_t out_size, bool stepwise) {
  LoopOutcome r;
  r.output.assign(out_size, 0xEE);
  auto state = NewUnpackState();
  if (!state) throw std::runtime_error("no memory for the decoder state");
  SetProgressSink(*state, test::RecordProgress, &r.reports);
  const Bytes stream(stored);
  auto window = std::make_unique<std::uint8_t[]>(kWindowSize);
  state->stream_cursor = stream.data();
  state->stream_end = stream.data() + stream.size();
  state->output_cursor = r.output.data();
  state->output_end = r.output.data() + r.output.size();
  state->remaining_output = static_cast<std::int32_t>(out_size);
  if (stepwise)
    DecodeLoopStepwise(*state, window.get());
  else
    DecodeLoop(*state, window.get());
  r.byte_pos = state->byte_pos;
  r.bit_pos = state->bit_pos;
  r.window_pos = state->window_pos;
  r.flushed_pos = state->flushed_pos;
  r.remaining_output = state->remaining_output;
  r.prev_length = state->prev_length;
  r.prev_distance = state->prev_distance;
  r.ring_index = state->ring_index;
  std::memcpy(r.distance_ring, state->distance_ring, sizeof r.distance_ring);
  r.scramble_key = state->scramble_key;
  r.multimedia_mode = state->multimedia_mode;
  r.current_channel = state->current_channel;
  r.window.assign(window.get(), window.get() + kWindowSize);
  return r;
}

// Decodes with both loops and compares everything; `what` names the case.
void ExpectSameDecode(const Bytes& stored, std::size_t out_size, const std::string& what) {
  const LoopOutcome fast = RunLoop(stored, out_size, false);
  const LoopOutcome plain = RunLoop(stored, out_size, true);
  SCOPED_TRACE(what);
  EXPECT_TRUE(fast.output == plain.output) << "output bytes differ";
  EXPECT_EQ(fast.reports, plain.reports);
  EXPECT_TRUE(fast.window == plain.window) << "window contents differ";
  EXPECT_EQ(fast.byte_pos, plain.byte_pos);
  EXPECT_EQ(fast.bit_pos, plain.bit_pos);
  EXPECT_EQ(fast.window_pos, plain.window_pos);
  EXPECT_EQ(fast.flushed_pos, plain.flushed_pos);
  EXPECT_EQ(fast.remaining_output, plain.remaining_output);
  EXPECT_EQ(fast.prev_length, plain.prev_length);
  EXPECT_EQ(fast.prev_distance, plain.prev_distance);
  EXPECT_EQ(fast.ring_index, plain.ring_index);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(fast.distance_ring[i], plain.distance_ring[i]) << "ring slot " << i;
  EXPECT_EQ(fast.scramble_key, plain.scramble_key);
  EXPECT_EQ(fast.multimedia_mode, plain.multimedia_mode);
  EXPECT_EQ(fast.current_channel, plain.current_channel);
}

// Installer-like data of a few kinds, mixed in segments.
Bytes SampleData(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(size);
  static const char* const kWords[] = {"setup ", "install ", "file ", "the ", "of ", "window ", "\r\n", "0x00, "};
  while (out.size() < size) {
    const std::size_t segment = 500 + rng() % 20000;
    switch (rng() % 6) {
      case 0:  // random bytes
        for (std::size_t i = 0; i < segment; ++i) out.push_back(static_cast<std::uint8_t>(rng()));
        break;
      case 1:  // text from a small vocabulary
        while (out.size() < size && segment > 0 && out.size() % segment != 0) {
          const char* w = kWords[rng() % 8];
          out.insert(out.end(), w, w + std::strlen(w));
        }
        for (std::size_t i = 0; i < 64; ++i) out.push_back(static_cast<std::uint8_t>("abc"[rng() % 3]));
        break;
      case 2:  // runs of one byte and short periods (distances 1 to 9)
        for (std::size_t i = 0, period = 1 + rng() % 9; i < segment; ++i)
          out.push_back(static_cast<std::uint8_t>(i % period == 0 ? rng() % 4 : 0x90 + i % period));
        break;
      case 3:  // 16-bit stereo samples
        for (std::size_t i = 0; i < segment / 4; ++i) {
          const auto v = static_cast<std::int16_t>(8000 * std::sin(static_cast<double>(i) * 0.05) + rng() % 64);
          for (int c = 0; c < 2; ++c) {
            out.push_back(static_cast<std::uint8_t>(v & 0xFF));
            out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
          }
        }
        break;
      case 4:  // a copy of an earlier stretch, lightly changed (long matches, far distances)
        if (out.size() > 1000) {
          const std::size_t from = rng() % (out.size() - 600);
          for (std::size_t i = 0; i < 600; ++i) out.push_back(out[from + i] ^ (rng() % 50 == 0 ? 1 : 0));
        }
        break;
      default:  // machine-code-like: small values with recurring opcodes
        for (std::size_t i = 0; i < segment; ++i)
          out.push_back(static_cast<std::uint8_t>(rng() % 3 == 0 ? 0x8B : rng() % 3 == 0 ? 0 : rng() % 32));
        break;
    }
  }
  out.resize(size);
  return out;
}

Bytes EncodeStored(const Bytes& data, int level, bool multimedia) {
  EncodeOptions options;
  options.level = level;
  options.allow_multimedia = multimedia;
  Bytes stream = CompressStream(data.data(), data.size(), options);
  ScrambleStream(stream.data(), stream.size(), kPayloadSeed);
  return stream;
}

TEST(DecodeLoopEquivalenceTest, EncoderStreamsOfEveryKindDecodeAlikeAndCorrectly) {
  const std::size_t sizes[] = {0, 1, 300, 70000, 1200000};
  std::uint32_t seed = 1;
  for (const std::size_t size : sizes) {
    for (const int level : {1, 6}) {
      const Bytes data = SampleData(size, seed++);
      const Bytes stored = EncodeStored(data, level, level == 6);
      const std::string what = "size " + std::to_string(size) + " level " + std::to_string(level);
      ExpectSameDecode(stored, data.size(), what);
      EXPECT_TRUE(RunLoop(stored, data.size(), false).output == data) << what << ": not the original data";
    }
  }
}

TEST(DecodeLoopEquivalenceTest, WrongOutputSizesDecodeAlike) {
  // Too small: the last match runs past the count and the final flush is
  // refused. Too large: the stream is read past its end and the guard stops.
  const Bytes data = SampleData(200000, 77);
  const Bytes stored = EncodeStored(data, 6, true);
  for (const std::size_t size : {std::size_t{1}, std::size_t{4097}, data.size() - 1, data.size() - 7,
                                 data.size() + 1, data.size() + 300, data.size() * 3})
    ExpectSameDecode(stored, size, "output size " + std::to_string(size));
}

TEST(DecodeLoopEquivalenceTest, TruncatedStreamsDecodeAlike) {
  const Bytes data = SampleData(100000, 5);
  const Bytes stored = EncodeStored(data, 6, true);
  std::mt19937 rng(9);
  for (int i = 0; i < 12; ++i) {
    const std::size_t keep = rng() % stored.size();
    ExpectSameDecode(Bytes(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(keep)), data.size(),
                     "kept " + std::to_string(keep) + " bytes");
  }
  // Cut right around the refill points of the input buffer.
  for (const std::size_t keep : {8191u, 8192u, 8193u, 8192u + 8160u - 3u, 8192u + 8160u, 8192u + 8160u + 5u})
    if (keep < stored.size())
      ExpectSameDecode(Bytes(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(keep)), data.size(),
                       "cut at " + std::to_string(keep));
}

TEST(DecodeLoopEquivalenceTest, BitFlippedStreamsDecodeAlike) {
  const Bytes data = SampleData(60000, 21);
  const Bytes stored = EncodeStored(data, 6, true);
  std::mt19937 rng(33);
  for (int i = 0; i < 30; ++i) {
    Bytes damaged = stored;
    const std::size_t at = rng() % damaged.size();
    damaged[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    ExpectSameDecode(damaged, data.size(), "flip at " + std::to_string(at));
  }
}

TEST(DecodeLoopEquivalenceTest, RandomBytesDecodeAlike) {
  std::mt19937 rng(4242);
  for (int i = 0; i < 40; ++i) {
    Bytes stored(rng() % 40000);
    for (auto& b : stored) b = static_cast<std::uint8_t>(rng());
    const std::size_t out_size = rng() % 300000;
    ExpectSameDecode(stored, out_size, "random stream " + std::to_string(i));
  }
}

TEST(DecodeLoopEquivalenceTest, HandBuiltMatchesAtEveryShortDistanceDecodeAlike) {
  // Literals, then matches of distances 0 to 20 and lengths 2 to 40 through
  // the long, short, ring and repeat forms, near the window start where
  // sources wrap to its zeroed end.
  test::StreamBuilder b;
  b.LzTables();
  std::size_t n = 0;
  for (int i = 0; i < 24; ++i, ++n) b.Literal(static_cast<std::uint8_t>(0x41 + i));
  for (std::uint32_t d = 1; d <= 20; ++d) {
    for (std::uint32_t len = 3; len <= 40; len += 5) {
      b.LongMatch(len, d);
      n += len;
      b.ShortMatch(d);
      n += 2;
      b.Literal(256);
      n += 2;
      b.RingMatch(1 + static_cast<int>(len % 4), len);  // every ring distance is below 0x101: no adjustment
      n += len;
    }
  }
  b.LongMatch(10, 0x100000);  // the distance of the whole window: each byte copied onto itself
  n += 10;
  ExpectSameDecode(test::Scramble(b.Finish()), n, "hand-built matches");
}

}  // namespace
}  // namespace sfx
