// The decoding loop end to end through UnpackPayload: literals, the four
// match kinds and their length adjustments, the distance ring, window wrap
// and flushing, output limits, trailing tables, multimedia blocks, and a
// stream written by another encoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "payload/crc32.h"
#include "support/stream_builder.h"
#include "unpack/unpack_state.h"

namespace sfx {
namespace {

using test::Bytes;
using test::DecodePlain;
using test::Lengths;
using test::StreamBuilder;

// Expected output, built alongside the stream: a match copies from the bytes
// already produced, or zeros when it reaches before the first byte.
struct Model {
  void Literal(std::uint8_t b) { out.push_back(b); }
  void Match(std::size_t length, std::size_t distance) {
    for (std::size_t i = 0; i < length; ++i) {
      const std::size_t at = out.size();
      out.push_back(at >= distance ? out[at - distance] : 0);
    }
  }
  Bytes out;
};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(LzDecoderTest, LiteralsOnly) {
  StreamBuilder b;
  b.LzTables();
  for (char c : std::string("hello")) b.Literal(static_cast<std::uint8_t>(c));
  const auto r = DecodePlain(b.Finish(), 5);
  EXPECT_TRUE(r.status);
  EXPECT_EQ(r.output, Text("hello"));
  EXPECT_EQ(r.reports, std::vector<std::uint32_t>{5}) << "one flush at the end";
}

TEST(LzDecoderTest, OverlappingMatchRepeatsTheLastBytes) {
  StreamBuilder b;
  b.LzTables();
  b.Literal(0x61);
  b.LongMatch(4, 1);
  EXPECT_EQ(DecodePlain(b.Finish(), 5).output, Bytes(5, 0x61));
}

TEST(LzDecoderTest, ShortMatchesAreTwoBytesAtEveryDistanceCode) {
  StreamBuilder b;
  Model m;
  b.LzTables();
  for (int i = 0; i < 300; ++i) {
    b.Literal(static_cast<std::uint8_t>(i * 13));
    m.Literal(static_cast<std::uint8_t>(i * 13));
  }
  for (std::uint32_t d : {1u, 4u, 5u, 8u, 9u, 16u, 17u, 32u, 33u, 64u, 65u, 128u, 129u, 192u, 193u, 256u}) {
    b.ShortMatch(d);
    m.Match(2, d);
  }
  const auto r = DecodePlain(b.Finish(), m.out.size());
  EXPECT_EQ(r.output, m.out);
}

TEST(LzDecoderTest, OverlappingMatchesAtEveryShortDistanceRepeatThePattern) {
  StreamBuilder b;
  Model m;
  b.LzTables();
  for (int i = 0; i < 32; ++i) {
    b.Literal(static_cast<std::uint8_t>(i * 29 + 3));
    m.Literal(static_cast<std::uint8_t>(i * 29 + 3));
  }
  for (std::uint32_t distance = 1; distance <= 24; ++distance) {
    for (std::uint32_t length : {3u, 7u, 8u, 9u, 16u, 17u, 41u, 258u}) {
      b.LongMatch(length, distance);
      m.Match(length, distance);
      b.Literal(static_cast<std::uint8_t>(distance + length));
      m.Literal(static_cast<std::uint8_t>(distance + length));
    }
  }
  EXPECT_EQ(DecodePlain(b.Finish(), m.out.size()).output, m.out);
}

TEST(LzDecoderTest, LongMatchesCoverEveryLengthCode) {
  StreamBuilder b;
  Model m;
  b.LzTables();
  for (int i = 0; i < 64; ++i) {
    b.Literal(static_cast<std::uint8_t>(i));
    m.Literal(static_cast<std::uint8_t>(i));
  }
  for (std::uint32_t length = 3; length <= 258; length += 5) {
    b.LongMatch(length, 61);
    m.Match(length, 61);
    b.Literal(0xAB);
    m.Literal(0xAB);
  }
  EXPECT_EQ(DecodePlain(b.Finish(), m.out.size()).output, m.out);
}

TEST(LzDecoderTest, LongMatchAdjustmentsFollowTheDistance) {
  struct Case {
    std::uint32_t distance;
    std::uint32_t extra;  // added length
  };
  for (const Case c : {Case{0x1FFF, 0}, Case{0x2000, 1}, Case{0x3FFFF, 1}, Case{0x40000, 2}, Case{0x100000, 2}}) {
    StreamBuilder b;
    b.LzTables();
    b.Literal('A');
    b.LongMatch(5 + c.extra, c.distance);
    b.Literal('Z');
    Bytes want = {'A'};
    want.insert(want.end(), 5 + c.extra, 0);
    want.push_back('Z');
    EXPECT_EQ(DecodePlain(b.Finish(), want.size()).output, want) << std::hex << c.distance;
  }
}

TEST(LzDecoderTest, RingMatchAdjustmentsFollowTheDistance) {
  struct Case {
    std::uint32_t distance;
    std::uint32_t extra;
  };
  for (const Case c : {Case{0x100, 0}, Case{0x101, 1}, Case{0x1FFF, 1}, Case{0x2000, 2}, Case{0x40000, 3}}) {
    StreamBuilder b;
    Model m;
    b.LzTables();
    for (int i = 0; i < 10; ++i) {
      b.Literal(static_cast<std::uint8_t>('a' + i));
      m.Literal(static_cast<std::uint8_t>('a' + i));
    }
    const std::uint32_t first = 3 + (c.distance >= 0x2000 ? 1 : 0) + (c.distance >= 0x40000 ? 1 : 0);
    b.LongMatch(first, c.distance);
    m.Match(first, c.distance);
    b.RingMatch(1, 4);  // sent length 4
    m.Match(4 + c.extra, c.distance);
    b.Literal('Z');
    m.Literal('Z');
    EXPECT_EQ(DecodePlain(b.Finish(), m.out.size()).output, m.out) << std::hex << c.distance;
  }
}

TEST(LzDecoderTest, RingHoldsTheLastFourDistancesOfEveryMatchKind) {
  std::vector<Bytes> outputs;
  for (int recent = 1; recent <= 4; ++recent) {
    StreamBuilder b;
    Model m;
    b.LzTables();
    for (int i = 0; i < 200; ++i) {
      b.Literal(static_cast<std::uint8_t>(i));
      m.Literal(static_cast<std::uint8_t>(i));
    }
    // Six matches with distances 10, 20, .. 60 (ring order 1..6), of all kinds.
    b.ShortMatch(10);
    m.Match(2, 10);
    b.LongMatch(3, 20);
    m.Match(3, 20);
    b.ShortMatch(30);
    m.Match(2, 30);
    b.LongMatch(7, 40);
    m.Match(7, 40);
    b.ShortMatch(50);
    m.Match(2, 50);
    b.ShortMatch(60);
    m.Match(2, 60);
    // 257 takes 60, 258 takes 50, 259 takes 40, 260 takes 30.
    b.RingMatch(recent, 5);
    m.Match(5, static_cast<std::size_t>(70 - 10 * recent));
    EXPECT_EQ(DecodePlain(b.Finish(), m.out.size()).output, m.out) << "symbol " << 256 + recent;
    outputs.push_back(m.out);
  }
  // The four expectations differ, so a wrong ring slot cannot pass.
  for (std::size_t i = 0; i < outputs.size(); ++i)
    for (std::size_t j = i + 1; j < outputs.size(); ++j) EXPECT_NE(outputs[i], outputs[j]);
}

TEST(LzDecoderTest, RingMatchesArePushedToo) {
  StreamBuilder b;
  Model m;
  b.LzTables();
  for (int i = 0; i < 20; ++i) {
    b.Literal(static_cast<std::uint8_t>(100 + i));
    m.Literal(static_cast<std::uint8_t>(100 + i));
  }
  b.ShortMatch(7);  // ring: 7
  m.Match(2, 7);
  b.ShortMatch(3);  // ring: 7 3
  m.Match(2, 3);
  b.RingMatch(2, 2);  // distance 7, pushed: 7 3 7
  m.Match(2, 7);
  b.RingMatch(2, 2);  // second most recent is now 3
  m.Match(2, 3);
  EXPECT_EQ(DecodePlain(b.Finish(), m.out.size()).output, m.out);
}

TEST(LzDecoderTest, RepeatLastMatchUsesItsAdjustedLength) {
  StreamBuilder b;
  Model m;
  b.LzTables();
  for (int i = 0; i < 16; ++i) {
    b.Literal(static_cast<std::uint8_t>(i + 1));
    m.Literal(static_cast<std::uint8_t>(i + 1));
  }
  b.LongMatch(6, 0x2000);  // 5 sent + 1
  m.Match(6, 0x2000);
  b.Literal(256);
  m.Match(6, 0x2000);
  b.ShortMatch(9);
  m.Match(2, 9);
  b.Literal(256);
  m.Match(2, 9);
  b.Literal('Z');
  m.Literal('Z');
  EXPECT_EQ(DecodePlain(b.Finish(), m.out.size()).output, m.out);
}

TEST(LzDecoderTest, RepeatBeforeAnyMatchCopiesNothingAndPushesZero) {
  StreamBuilder b;
  b.LzTables();
  b.Literal('a');
  b.Literal('b');
  b.Literal(256);     // length 0, distance 0 into the ring
  b.RingMatch(1, 2);  // distance 0: each byte rewritten with itself (zero)
  b.Literal('c');
  EXPECT_EQ(DecodePlain(b.Finish(), 5).output, (Bytes{'a', 'b', 0, 0, 'c'}));
}

TEST(LzDecoderTest, MatchBeforeTheFirstByteReadsZerosFromTheWindowEnd) {
  StreamBuilder b;
  b.LzTables();
  b.Literal('x');
  b.LongMatch(4, 300);
  b.Literal('y');
  EXPECT_EQ(DecodePlain(b.Finish(), 6).output, (Bytes{'x', 0, 0, 0, 0, 'y'}));
}

TEST(LzDecoderTest, NewTablesMidStreamChangeTheCodes) {
  StreamBuilder b;
  b.LzTables();
  b.Literal('p');
  b.Literal(269);
  Lengths literal(298, 0);
  literal['q'] = 1;
  literal[269] = 2;
  literal[270] = 2;
  b.LzTables(literal, Lengths(48, 6), Lengths(28, 5));
  b.Literal('q');  // one bit now
  b.Literal('q');
  EXPECT_EQ(DecodePlain(b.Finish(), 3).output, Text("pqq"));
}

// --- Output size, flushing and the window ---

TEST(LzDecoderTest, OutputSizeZeroReadsTablesAndReportsAnEmptyFlush) {
  StreamBuilder b;
  b.LzTables();
  const Bytes plain = b.Finish();
  auto state = NewUnpackState();
  std::vector<std::uint32_t> reports;
  SetProgressSink(*state, test::RecordProgress, &reports);
  const Bytes stored = test::Scramble(plain);
  std::uint8_t out[1] = {0xEE};
  EXPECT_TRUE(UnpackPayload(*state, stored.data(), stored.data() + stored.size(), out, out));
  EXPECT_EQ(reports, std::vector<std::uint32_t>{0});
  EXPECT_EQ(state->literal_table.symbol_count, 298) << "the first table read still happens";
  EXPECT_EQ(state->remaining_output, -1);
  EXPECT_EQ(out[0], 0xEE);
}

TEST(LzDecoderTest, StreamDecodingPastTheOutputSizeLosesItsLastFlush) {
  StreamBuilder b;
  b.LzTables();
  b.Literal('a');
  b.LongMatch(10, 1);
  const auto r = DecodePlain(b.Finish(), 5);
  EXPECT_EQ(r.output, Bytes(5, 0xEE)) << "the whole chunk is refused";
  EXPECT_TRUE(r.reports.empty());
}

// A stream of `size` bytes mixing literals and long matches at distances up
// to the full window; `m` receives the expected output.
Bytes BigStream(std::size_t size, Model& m, std::uint32_t seed) {
  StreamBuilder b;
  b.LzTables();
  std::uint32_t x = seed;
  auto next = [&x] {
    x = x * 1103515245u + 12345u;
    return x >> 8;
  };
  while (m.out.size() < size) {
    const std::size_t left = size - m.out.size();
    const std::uint32_t kind = next() % 8;
    if (kind < 3 || left < 300) {
      const auto byte = static_cast<std::uint8_t>(next());
      b.Literal(byte);
      m.Literal(byte);
      continue;
    }
    std::uint32_t distance;
    if (kind == 3)
      distance = 0x100000;
    else if (kind == 4)
      distance = 0xFFFFF - next() % 16;
    else if (kind == 5)
      distance = 1 + next() % 64;
    else
      distance = 1 + next() % 0x100000;
    std::uint32_t length = 3 + next() % 256;
    if (distance >= 0x2000) length += 1;
    if (distance >= 0x40000) length += 1;
    b.LongMatch(length, distance);
    m.Match(length, distance);
  }
  return b.Finish();
}

TEST(LzDecoderTest, OutputsBeyondOneMebibyteWrapTheWindowAndFlushInPieces) {
  Model m;
  const Bytes plain = BigStream(3 * 0x100000 + 12345, m, 1);
  const auto r = DecodePlain(plain, m.out.size());
  ASSERT_EQ(r.output.size(), m.out.size());
  EXPECT_TRUE(r.output == m.out);
  EXPECT_GT(r.reports.size(), 3u);
  EXPECT_EQ(std::accumulate(r.reports.begin(), r.reports.end(), std::uint64_t{0}), m.out.size());
  for (std::uint32_t n : r.reports) EXPECT_LE(n, 0x100000u);
}

TEST(LzDecoderTest, FinalFlushCanEndExactlyAtTheWindowEnd) {
  // 0x100000 literals: the last one lands in the window's last byte and the
  // final flush writes up to the window's end.
  StreamBuilder b;
  b.LzTables();
  Model m;
  for (std::size_t i = 0; i < 0x100000; ++i) {
    const auto byte = static_cast<std::uint8_t>(i * 31 + (i >> 11));
    b.Literal(byte);
    m.Literal(byte);
  }
  const auto r = DecodePlain(b.Finish(), m.out.size());
  EXPECT_TRUE(r.output == m.out);
  EXPECT_EQ(std::accumulate(r.reports.begin(), r.reports.end(), std::uint64_t{0}), 0x100000u);
}

// --- Trailing tables ---

TEST(LzDecoderTest, TableChangeAfterTheLastByteIsConsumed) {
  StreamBuilder b;
  b.LzTables();
  b.Literal('k');
  b.Literal(269);
  Lengths literal(298, 9);
  literal[0] = 3;
  b.LzTables(literal, Lengths(48, 6), Lengths(28, 5));
  const std::size_t total_bits = b.w.bit_count();
  const Bytes stored = test::Scramble(b.Finish());
  auto state = NewUnpackState();
  std::uint8_t out[1];
  UnpackPayload(*state, stored.data(), stored.data() + stored.size(), out, out + 1);
  EXPECT_EQ(out[0], 'k');
  EXPECT_EQ(state->previous_lengths[0], 3);
  EXPECT_EQ(static_cast<std::size_t>(state->byte_pos) * 8 + state->bit_pos, total_bits);
}

TEST(LzDecoderTest, TrailingReadNeedsFiveBytesBeforeTheFillLevel) {
  // The last literal ends at bit 1583, inside byte 197 of a 198-byte stream;
  // the test compares the fill level with that byte's index + 5.
  for (std::size_t padding : {3u, 4u}) {
    StreamBuilder b;
    b.LzTables();
    b.Literal('k');
    const std::size_t end_bits = b.w.bit_count();
    b.w.AlignToByte();
    for (std::size_t i = 0; i < padding; ++i) b.Bits(0, 8);
    const Bytes stored = test::Scramble(b.Finish());
    auto state = NewUnpackState();
    std::uint8_t out[1];
    UnpackPayload(*state, stored.data(), stored.data() + stored.size(), out, out + 1);
    EXPECT_EQ(out[0], 'k');
    const std::size_t at = static_cast<std::size_t>(state->byte_pos) * 8 + state->bit_pos;
    if (padding < 4) {
      EXPECT_EQ(at, end_bits) << "no trailing symbol is read";
    } else {
      EXPECT_EQ(at, end_bits + 9) << "one trailing 9-bit symbol is read";
    }
  }
}

TEST(LzDecoderTest, EmptyStreamStillReadsItsTrailingSymbol) {
  // The fill level of an empty stream is -1, which the unsigned test sees as
  // huge. Reading zeros: a table block of 2 + 76 bits and 374 lengths, each
  // a 15-bit "code" of the empty code-length code, then one 15-bit trailing
  // symbol of the empty literal code.
  auto state = NewUnpackState();
  const Bytes empty;
  std::uint8_t out[1];
  UnpackPayload(*state, empty.data(), empty.data(), out, out);
  EXPECT_EQ(state->fill_level, -1);
  EXPECT_EQ(static_cast<std::size_t>(state->byte_pos) * 8 + state->bit_pos, 2u + 76u + 374u * 15u + 15u);
}

// --- Multimedia blocks ---

TEST(LzDecoderTest, MultimediaBytesAlternateBetweenChannels) {
  StreamBuilder b;
  b.MultimediaTables(2);
  for (std::uint32_t d : {1u, 0u, 0u, 0u}) b.Channel(d);
  const auto r = DecodePlain(b.Finish(), 4);
  // Channel 0 decodes 1, 0 to FF FF; channel 1 decodes 0, 0 to 00 00.
  EXPECT_EQ(r.output, (Bytes{0xFF, 0x00, 0xFF, 0x00}));
}

TEST(LzDecoderTest, MultimediaAndLzBlocksInterleaveWithPersistentPredictors) {
  StreamBuilder b;
  b.MultimediaTables(1);
  b.Channel(1);  // FF, channel value -1
  b.Channel(256);
  b.LzTables();
  b.Literal('L');
  b.Literal(269);
  b.MultimediaTables(1);
  b.Channel(0);  // the predictor still holds -1: FF again
  EXPECT_EQ(DecodePlain(b.Finish(), 3).output, (Bytes{0xFF, 'L', 0xFF}));
}

TEST(LzDecoderTest, NewMultimediaTablesKeepTheCurrentChannelWhenInRange) {
  StreamBuilder b;
  b.MultimediaTables(3);
  b.Channel(1);  // channel 0 -> FF
  b.Channel(256);
  b.MultimediaTables(3);
  b.Channel(5);  // channel 1 (kept) -> 0 - 5 = FB, with w4 = 0
  b.Channel(0);  // channel 2
  b.Channel(0);  // channel 0 again: previous value -1 -> FF
  const auto r = DecodePlain(b.Finish(), 4);
  EXPECT_EQ(r.output, (Bytes{0xFF, 0xFB, 0x00, 0xFF}));
}

// --- A stream written by another encoder ---

TEST(LzDecoderTest, ForeignEncoderStreamDecodesToFooLine) {
  const Bytes plain = test::FromHex(SFX_FOO_STREAM_HEX);
  ASSERT_EQ(plain.size(), 17u);
  const auto r = DecodePlain(plain, 4);
  EXPECT_EQ(r.output, Text("foo\n"));
  CrcTable table;
  BuildCrcTable(table);
  EXPECT_EQ(~CrcBlock(table, r.output.data(), 4, 0xFFFFFFFFu), 0x7E3265A8u);
}

}  // namespace
}  // namespace sfx
