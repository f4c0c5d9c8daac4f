// Round trips through the project's decoder at every level over varied data.
#include <gtest/gtest.h>

#include "support/round_trip.h"
#include "support/test_data.h"

namespace sfx::encode {
namespace {

using namespace sfx::test;

class RoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(RoundTrip, EmptyAndTinyInputs) {
  ExpectRoundTrip({}, GetParam());
  ExpectRoundTrip({0x42}, GetParam());
  ExpectRoundTrip({0x42, 0x42}, GetParam());
  ExpectRoundTrip({1, 2, 3, 1, 2, 3, 1, 2}, GetParam());
}

TEST_P(RoundTrip, RunsLongerThanAnyMatch) {
  Bytes data(100000, 'a');
  Append(data, Bytes(777, 0));
  Append(data, RandomBytes(300, 5));
  Append(data, Bytes(70000, 0xFF));
  const std::size_t packed = ExpectRoundTrip(data, GetParam());
  EXPECT_LT(packed, data.size() / 50);
}

TEST_P(RoundTrip, TextAndBinaries) {
  Bytes data = TextLike(150000, 1);
  Append(data, BinaryLike(150000, 2));
  const std::size_t packed = ExpectRoundTrip(data, GetParam());
  EXPECT_LT(packed, data.size() / 2);
}

TEST_P(RoundTrip, IncompressibleDataGrowsOnlySlightly) {
  const Bytes data = RandomBytes(200000, 3);
  const std::size_t packed = ExpectRoundTrip(data, GetParam());
  EXPECT_LE(packed, data.size() + data.size() / 1000 + 1024);
}

// Random data sent as bare literals is still indexed: a later copy of it,
// within the window, and text between the copies still compress.
TEST_P(RoundTrip, RepeatedRandomDataIsMatched) {
  const Bytes random = RandomBytes(100000, 4);
  Bytes data = random;
  Append(data, TextLike(60000, 5));
  Append(data, random);
  Append(data, Bytes(random.begin(), random.begin() + 50000));  // repeats inside one chunk
  EXPECT_LT(ExpectRoundTrip(data, GetParam()), random.size() + 30000);
}

TEST_P(RoundTrip, ShortRepeatsAndRecentDistances) {
  // Records of a fixed stride with small changes: repeats of recent
  // distances, two-byte matches and repeats of the previous match.
  std::mt19937 rng(9);
  Bytes data;
  for (int i = 0; i < 20000; ++i) {
    const std::uint8_t rec[] = {
        static_cast<std::uint8_t>(i), 0x10, 0x20, static_cast<std::uint8_t>(rng() % 3), 0x30, 0x40, 0x50};
    data.insert(data.end(), rec, rec + sizeof rec);
    if (rng() % 5 == 0) data.push_back(static_cast<std::uint8_t>(rng()));
  }
  const std::size_t packed = ExpectRoundTrip(data, GetParam());
  EXPECT_LT(packed, data.size() / 3);
}

TEST_P(RoundTrip, CopiesBrokenByOneByte) {
  // Two record families in turn, each copy with one byte changed: a match,
  // a literal, then the same or the other family's distance again.
  std::mt19937 rng(11);
  const Bytes families[2] = {RandomBytes(40, 12), RandomBytes(56, 13)};
  Bytes data;
  for (int i = 0; i < 6000; ++i) {
    Bytes record = families[i % 2];
    record[rng() % record.size()] = static_cast<std::uint8_t>(rng());
    Append(data, record);
  }
  EXPECT_LT(ExpectRoundTrip(data, GetParam()), data.size() / 4);
}

TEST_P(RoundTrip, MultimediaOneToFourChannels) {
  for (int channels = 1; channels <= 4; ++channels) {
    const Bytes data = SignalLike(60000, channels, 20 + static_cast<std::uint32_t>(channels));
    EncodeStats stats;
    const std::size_t with = ExpectRoundTrip(data, GetParam(), true, &stats);
    const std::size_t without = ExpectRoundTrip(data, GetParam(), false);
    EXPECT_LT(with, without) << channels << " channels";
    std::uint32_t multimedia_blocks = 0;
    for (int c = 1; c <= 4; ++c) multimedia_blocks += stats.blocks[c];
    EXPECT_GT(multimedia_blocks, 0u) << channels << " channels";
  }
}

TEST_P(RoundTrip, ManyTableChangesBetweenKinds) {
  // Alternating stretches of text, audio, pixels, random and binary data
  // make the encoder switch between LZ and multimedia blocks and tables.
  Bytes data;
  for (std::uint32_t i = 0; i < 2; ++i) {
    Append(data, TextLike(24000 + i * 1000, 100 + i));
    Append(data, SignalLike(70000, 2, 200 + i, true));
    Append(data, SignalLike(66000 + 3 * i, 3, 300 + i));
    Append(data, RandomBytes(8000, 400 + i));
    Append(data, BinaryLike(24000, 500 + i));
  }
  EncodeStats stats;
  ExpectRoundTrip(data, GetParam(), true, &stats);
  std::uint32_t multimedia = 0;
  for (int c = 1; c <= 4; ++c) multimedia += stats.blocks[c];
  EXPECT_GE(stats.blocks[0], 2u);
  EXPECT_GE(multimedia, 2u);
  EXPECT_GE(stats.blocks[0] + multimedia, 6u);
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip, ::testing::Range(1, 10));

// Data longer than the window whose second part repeats the first at
// distances up to 1 MiB: random bytes only shrink if those matches are used.
TEST(RoundTripFarMatches, DistancesNearTheWindowSize) {
  const std::size_t window = 0x100000;
  Bytes data = RandomBytes(window + 150000, 77);
  const std::size_t start = window;
  // Stretches copied from exactly 1 MiB back, from just under it, and from
  // the beginning of the input at distances beyond 0x40000.
  for (std::size_t i = 0; i < 50000; ++i) data[start + i] = data[start + i - window];
  for (std::size_t i = 50000; i < 100000; ++i) data[start + i] = data[start + i - (window - 3)];
  for (std::size_t i = 100000; i < 150000; ++i) data[start + i] = data[start + i - 0x40000];
  // The fastest level looks at too few candidates to find these among the
  // hash collisions of random data; it must still round-trip.
  ExpectRoundTrip(data, 1);
  for (int level : {6, 9}) {
    const std::size_t packed = ExpectRoundTrip(data, level);
    EXPECT_LT(packed, window + 30000) << "level " << level;
  }
}

// The best levels plan the input in 2 MiB segments, in parallel with
// threads: matches reach back across a cut, multimedia runs across one, and
// the stream is the same whatever the number of threads.
TEST(RoundTripSegments, SameStreamForEveryThreadCount) {
  Bytes data = BinaryLike(1500000, 61);
  Append(data, SignalLike(1200000, 2, 62));  // crosses the first cut at 2 MiB
  Append(data, TextLike(900000, 63));
  Append(data, Bytes(data.begin() + 1000000, data.begin() + 1500000));  // far matches across the second cut
  std::vector<Bytes> streams;
  for (unsigned threads : {1u, 3u}) {
    EncodeOptions options;
    options.level = 7;
    options.threads = threads;
    streams.push_back(CompressStream(data.data(), data.size(), options));
    EXPECT_EQ(DecodePlain(streams.back(), data.size()).output, data) << threads << " threads";
  }
  EXPECT_EQ(streams[0], streams[1]);
}

TEST(RoundTripProgress, ReportsGrowingCountsUpToTheTotal) {
  const Bytes data = TextLike(300000, 8);
  std::vector<std::uint64_t> seen;
  EncodeOptions options;
  options.progress = [&](std::uint64_t done, std::uint64_t total) {
    EXPECT_EQ(total, data.size());
    seen.push_back(done);
  };
  CompressStream(data.data(), data.size(), options);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), data.size());
}

TEST(RoundTripLimits, RefusesInputsTheDecoderCannotCount) {
  const std::uint8_t byte = 0;
  EncodeOptions options;
  // The size is checked before any byte is read.
  EXPECT_THROW(CompressStream(&byte, std::size_t{0x80000000u}, options), std::length_error);
}

TEST(RoundTripLevels, HigherLevelsAreNotLarger) {
  Bytes data = TextLike(200000, 31);
  Append(data, BinaryLike(200000, 32));
  const std::size_t fast = ExpectRoundTrip(data, 1);
  const std::size_t normal = ExpectRoundTrip(data, 6);
  const std::size_t best = ExpectRoundTrip(data, 9);
  EXPECT_LE(normal, fast);
  EXPECT_LE(best, normal);
}

}  // namespace
}  // namespace sfx::encode
