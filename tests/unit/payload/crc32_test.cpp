// Seeded CRC-32: known vectors, table entries, the 8-byte step against a
// bit-at-a-time reference for every length split, and the seed chaining.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "payload/crc32.h"
#include "support/payload_samples.h"

namespace sfx {
namespace {

// Bit-at-a-time reference of the same register update (no table).
using test::ReferenceCrc;

class CrcTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildCrcTable(table_); }
  CrcTable table_{};
};

TEST_F(CrcTest, TableHasTheKnownEntries) {
  EXPECT_EQ(table_.entry[0], 0u);
  EXPECT_EQ(table_.entry[1], 0x77073096u);
  EXPECT_EQ(table_.entry[128], 0xEDB88320u);
  EXPECT_EQ(table_.entry[255], 0x2D02EF8Du);
}

TEST_F(CrcTest, CheckDigitsGiveTheKnownRegisters) {
  const char* digits = "123456789";
  EXPECT_EQ(CrcBlock(table_, digits, 9, 0xFFFFFFFFu), 0x340BC6D9u);
  EXPECT_EQ(CrcBlock(table_, digits, 9, 0u), 0x2DFD2D88u);
}

TEST_F(CrcTest, ZeroLengthReturnsTheRegister) {
  EXPECT_EQ(CrcBlock(table_, nullptr, 0, kPayloadSeed), kPayloadSeed);
  EXPECT_EQ(CrcBlock(table_, "x", 0, 0x12345678u), 0x12345678u);
}

TEST_F(CrcTest, EveryLengthUpTo40MatchesTheBitwiseReference) {
  std::mt19937 rng(7);
  std::vector<std::uint8_t> data(40);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  for (std::uint32_t length = 0; length <= 40; ++length) {
    SCOPED_TRACE(length);
    EXPECT_EQ(CrcBlock(table_, data.data(), length, kPayloadSeed), ReferenceCrc(data.data(), length, kPayloadSeed));
  }
}

TEST_F(CrcTest, UnalignedStartsMatchTheBitwiseReference) {
  std::vector<std::uint8_t> data(300);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 5);
  for (std::size_t start = 0; start < 8; ++start) {
    const auto length = static_cast<std::uint32_t>(data.size() - start);
    EXPECT_EQ(CrcBlock(table_, data.data() + start, length, 0u), ReferenceCrc(data.data() + start, length, 0u))
        << "start " << start;
  }
}

TEST_F(CrcTest, SplittingTheDataChainsThroughTheRegister) {
  std::vector<std::uint8_t> data(1000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i ^ (i >> 3));
  const std::uint32_t whole = CrcBlock(table_, data.data(), 1000, kPayloadSeed);
  for (std::uint32_t cut : {1u, 7u, 8u, 9u, 500u, 999u}) {
    const std::uint32_t first = CrcBlock(table_, data.data(), cut, kPayloadSeed);
    EXPECT_EQ(CrcBlock(table_, data.data() + cut, 1000 - cut, first), whole) << "cut " << cut;
  }
}

}  // namespace
}  // namespace sfx
