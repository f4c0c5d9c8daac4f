// Length-limited code builder and canonical code words.
#include <gtest/gtest.h>

#include <queue>
#include <random>
#include <vector>

#include "encode/prefix_code.h"

namespace sfx::encode {
namespace {

std::uint64_t KraftSum15(const std::vector<std::uint8_t>& lengths) {
  std::uint64_t sum = 0;
  for (std::uint8_t l : lengths) {
    if (l != 0) sum += std::uint64_t{1} << (15 - l);
  }
  return sum;
}

std::vector<std::uint8_t> Lengths(const std::vector<std::uint32_t>& counts, int max_bits = 15) {
  std::vector<std::uint8_t> lengths(counts.size(), 99);
  BuildCodeLengths(counts, max_bits, lengths.data());
  return lengths;
}

// Cost of an unrestricted optimal code: the sum of all merged weights.
std::uint64_t OptimalCost(const std::vector<std::uint32_t>& counts) {
  std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> queue;
  for (std::uint32_t c : counts) {
    if (c != 0) queue.push(c);
  }
  std::uint64_t cost = 0;
  while (queue.size() > 1) {
    const std::uint64_t a = queue.top();
    queue.pop();
    const std::uint64_t b = queue.top();
    queue.pop();
    cost += a + b;
    queue.push(a + b);
  }
  return cost;
}

std::uint64_t Cost(const std::vector<std::uint32_t>& counts, const std::vector<std::uint8_t>& lengths) {
  std::uint64_t cost = 0;
  for (std::size_t i = 0; i < counts.size(); ++i) cost += std::uint64_t{counts[i]} * lengths[i];
  return cost;
}

TEST(CodeLengths, RandomCountsGiveCompleteCodesWithinTheLimit) {
  std::mt19937 rng(1);
  for (int round = 0; round < 300; ++round) {
    const std::size_t size = 2 + rng() % 1027;
    std::vector<std::uint32_t> counts(size);
    const std::uint32_t spread = 1u << (rng() % 20);
    for (auto& c : counts) c = rng() % 3 == 0 ? 0 : rng() % spread;
    const auto lengths = Lengths(counts);
    EXPECT_EQ(KraftSum15(lengths), 1u << 15) << "round " << round;
    int used = 0;
    for (std::size_t i = 0; i < size; ++i) {
      EXPECT_LE(lengths[i], 15);
      if (counts[i] != 0) {
        EXPECT_GT(lengths[i], 0) << "used symbol without a code";
        ++used;
      }
    }
    if (used >= 2) {
      for (std::size_t i = 0; i < size; ++i) {
        if (counts[i] == 0) {
          EXPECT_EQ(lengths[i], 0);
        }
      }
    }
  }
}

TEST(CodeLengths, OptimalWhenTheLimitDoesNotBind) {
  std::mt19937 rng(2);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::uint32_t> counts(2 + rng() % 300);
    // Counts within a factor of ten keep the optimal code below 15 bits.
    for (auto& c : counts) c = 100 + rng() % 900;
    EXPECT_EQ(Cost(counts, Lengths(counts)), OptimalCost(counts));
  }
}

TEST(CodeLengths, SkewedCountsAreLimitedToFifteenBits) {
  // Fibonacci counts would need a code about 30 bits deep.
  std::vector<std::uint32_t> counts(298, 0);
  std::uint32_t a = 1, b = 1;
  for (int i = 0; i < 30; ++i) {
    counts[static_cast<std::size_t>(i * 7)] = a;
    const std::uint32_t next = a + b;
    a = b;
    b = next;
  }
  const auto lengths = Lengths(counts);
  EXPECT_EQ(KraftSum15(lengths), 1u << 15);
  EXPECT_EQ(*std::max_element(lengths.begin(), lengths.end()), 15);
  // The limited code stays close to the unlimited optimum.
  EXPECT_LT(Cost(counts, lengths), OptimalCost(counts) + OptimalCost(counts) / 100);
  // More frequent symbols never have longer codes.
  for (std::size_t i = 0; i < counts.size(); ++i) {
    for (std::size_t j = 0; j < counts.size(); ++j) {
      if (counts[i] > counts[j] && counts[j] != 0) {
        EXPECT_LE(lengths[i], lengths[j]);
      }
    }
  }
}

TEST(CodeLengths, SmallerLimitsAreHonoured) {
  std::vector<std::uint32_t> counts(19);
  for (std::size_t i = 0; i < counts.size(); ++i) counts[i] = 1u << i;
  for (int limit = 5; limit <= 15; ++limit) {
    const auto lengths = Lengths(counts, limit);
    std::uint64_t sum = 0;
    for (std::uint8_t l : lengths) {
      EXPECT_LE(l, limit);
      sum += std::uint64_t{1} << (limit - l);
    }
    EXPECT_EQ(sum, std::uint64_t{1} << limit);
  }
}

TEST(CodeLengths, OneOrNoUsedSymbolStillGivesTwoCodes) {
  std::vector<std::uint32_t> one(48, 0);
  one[30] = 1000;
  auto lengths = Lengths(one);
  EXPECT_EQ(lengths[30], 1);
  EXPECT_EQ(KraftSum15(lengths), 1u << 15);
  EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 1), 2);

  const auto none = Lengths(std::vector<std::uint32_t>(28, 0));
  EXPECT_EQ(KraftSum15(none), 1u << 15);
  EXPECT_EQ(std::count(none.begin(), none.end(), 1), 2);
}

TEST(CanonicalCodes, OrderedByLengthThenSymbolAndPrefixFree) {
  // Lengths 1, 2, 3, 3 give 0, 10, 110, 111.
  const std::uint8_t lengths[] = {1, 2, 3, 3};
  std::uint16_t codes[4];
  AssignCanonicalCodes(lengths, 4, codes);
  EXPECT_EQ(codes[0], 0b0);
  EXPECT_EQ(codes[1], 0b10);
  EXPECT_EQ(codes[2], 0b110);
  EXPECT_EQ(codes[3], 0b111);

  std::mt19937 rng(3);
  std::vector<std::uint32_t> counts(257);
  for (auto& c : counts) c = rng() % 4 == 0 ? 0 : rng() % 5000;
  PrefixCode code;
  BuildPrefixCode(counts, 15, code);
  for (int i = 0; i < code.size; ++i) {
    for (int j = 0; j < code.size; ++j) {
      if (i == j || code.lengths[i] == 0 || code.lengths[j] == 0 || code.lengths[i] > code.lengths[j]) continue;
      const int shift = code.lengths[j] - code.lengths[i];
      EXPECT_NE(code.codes[j] >> shift, code.codes[i]) << i << " is a prefix of " << j;
      if (code.lengths[i] == code.lengths[j] && i < j) {
        EXPECT_LT(code.codes[i], code.codes[j]);
      }
    }
  }
}

}  // namespace
}  // namespace sfx::encode
