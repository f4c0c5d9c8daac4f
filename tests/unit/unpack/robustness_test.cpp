// Damaged input: random streams, truncated and bit-flipped valid streams,
// streams that only ever announce new tables, and empty streams. Each
// decode must stay inside its buffers (checked by the address sanitizer in
// the sanitizer build; every stream is an exact-size heap copy) and must
// end. Complete streams ending exactly on their last bit decode in full.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "unpack/unpack_state.h"
#include "support/stream_builder.h"

namespace sfx {
namespace {

using test::Bytes;
using test::DecodePlain;
using test::DecodeStored;
using test::StreamBuilder;

// A valid stream with LZ and multimedia blocks, code changes and matches.
Bytes MixedStream(std::size_t* out_size) {
  StreamBuilder b;
  std::size_t n = 0;
  b.LzTables();
  for (int i = 0; i < 500; ++i, ++n) b.Literal(static_cast<std::uint8_t>(i * 37));
  for (int i = 0; i < 200; ++i) {
    b.LongMatch(3 + static_cast<std::uint32_t>(i % 250), 1 + static_cast<std::uint32_t>(i * 97 % 480));
    n += 3 + static_cast<std::size_t>(i % 250);
    b.ShortMatch(1 + static_cast<std::uint32_t>(i % 200));
    n += 2;
  }
  b.Literal(269);
  b.MultimediaTables(3);
  for (int i = 0; i < 900; ++i, ++n) b.Channel(static_cast<std::uint32_t>(i * 11 % 256));
  b.Channel(256);
  b.LzTables();
  for (int i = 0; i < 300; ++i, ++n) b.Literal(static_cast<std::uint8_t>(i));
  *out_size = n;
  return b.Finish();
}

TEST(RobustnessTest, MixedStreamDecodesInFull) {
  std::size_t size = 0;
  const Bytes plain = MixedStream(&size);
  const auto r = DecodePlain(plain, size);
  EXPECT_TRUE(r.status);
  EXPECT_EQ(r.reports, std::vector<std::uint32_t>{static_cast<std::uint32_t>(size)});
}

TEST(RobustnessTest, StreamEndingOnItsLastBitDecodesInFull) {
  // 2 + 76 + 374 x 4 = 1574 table bits; two 9-bit literals make 1592 = 199 bytes.
  StreamBuilder b;
  b.LzTables();
  b.Literal('o');
  b.Literal('k');
  ASSERT_EQ(b.w.bit_count(), 1592u);
  const auto r = DecodePlain(b.Finish(), 2);
  EXPECT_EQ(r.output, (Bytes{'o', 'k'}));
}

TEST(RobustnessTest, TruncatedStreamsStayInBoundsAndEnd) {
  std::size_t size = 0;
  const Bytes plain = MixedStream(&size);
  const auto full = DecodePlain(plain, size).output;
  for (std::size_t keep = 0; keep < plain.size(); keep += 1 + keep / 16) {
    const Bytes cut(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(keep));
    const auto r = DecodePlain(cut, size);
    EXPECT_TRUE(r.status);
    // A stream cut before its last symbol cannot have produced everything.
    if (keep + 2 < plain.size()) {
      EXPECT_NE(r.output, full) << "kept " << keep;
    }
  }
}

TEST(RobustnessTest, BitFlippedStreamsStayInBoundsAndEnd) {
  std::size_t size = 0;
  const Bytes plain = MixedStream(&size);
  std::mt19937 rng(99);
  for (int round = 0; round < 150; ++round) {
    Bytes damaged = plain;
    const int flips = 1 + round % 5;
    for (int f = 0; f < flips; ++f) damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    const std::size_t out_size = round % 3 == 0 ? size : (round % 3 == 1 ? size / 2 : size + 70000);
    EXPECT_TRUE(DecodePlain(damaged, out_size).status);
  }
}

TEST(RobustnessTest, RandomStreamsStayInBoundsAndEnd) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 120; ++round) {
    const std::size_t length = round < 10 ? static_cast<std::size_t>(round) : rng() % 40000;
    Bytes stored(length);
    for (auto& byte : stored) byte = static_cast<std::uint8_t>(rng());
    // Bias some streams towards multimedia or LZ headers with small codes.
    if (length > 0 && round % 3 == 0) stored[0] |= 0x80;
    const std::size_t out_size = round % 4 == 0 ? 3 * 0x100000 : rng() % 200000;
    EXPECT_TRUE(DecodeStored(stored, out_size).status) << round;
  }
}

TEST(RobustnessTest, StreamThatOnlyChangesTablesEnds) {
  StreamBuilder b;
  for (int i = 0; i < 40; ++i) {
    test::Lengths literal(298, 0);
    literal[269] = 1;  // the only code: "new tables" forever
    literal[0] = 1;
    b.LzTables(literal, test::Lengths(48, 6), test::Lengths(28, 5));
    b.Literal(269);
  }
  const Bytes stream = b.Finish();
  // Cut in the middle of a table block: the buffer then repeats stale data.
  for (std::size_t keep : {stream.size(), stream.size() / 2, std::size_t{300}}) {
    const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(keep));
    const auto r = DecodePlain(cut, 1000);
    EXPECT_TRUE(r.status);
    EXPECT_EQ(r.output, Bytes(1000, 0xEE)) << "nothing decoded, nothing written";
  }
}

TEST(RobustnessTest, EmptyStreamEndsWithoutOutput) {
  for (std::size_t out_size : {std::size_t{0}, std::size_t{1}, std::size_t{0x180000}}) {
    const auto r = DecodeStored(Bytes{}, out_size);
    EXPECT_TRUE(r.status);
    EXPECT_EQ(r.output, Bytes(out_size, 0xEE));
  }
}

TEST(RobustnessTest, DecoderStateDecodesOnceAndAnotherStateStartsAfresh) {
  // The key chain is never reset: a second decode with the same state sees
  // a different key, while a new state decodes the same stream again.
  StreamBuilder b;
  b.LzTables();
  b.Literal('r');
  const Bytes stored = test::Scramble(b.Finish());
  auto first = NewUnpackState();
  std::uint8_t out[1] = {0};
  UnpackPayload(*first, stored.data(), stored.data() + stored.size(), out, out + 1);
  EXPECT_EQ(out[0], 'r');
  EXPECT_NE(first->scramble_key, kPayloadSeed);
  auto second = NewUnpackState();
  out[0] = 0;
  UnpackPayload(*second, stored.data(), stored.data() + stored.size(), out, out + 1);
  EXPECT_EQ(out[0], 'r');
}

}  // namespace
}  // namespace sfx
