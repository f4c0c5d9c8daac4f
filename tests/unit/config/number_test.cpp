// Hexadecimal numbers: the "%lx" rules with a 32-bit result on every platform.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "config/config_number.h"

namespace sfx {
namespace {

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

struct Case {
  const char* text;
  bool converts;
  std::uint32_t value;
};

TEST(ConfigNumber, ConvertsLikeScanfHex) {
  const Case cases[] = {
      {"0", true, 0},
      {"1F", true, 0x1F},
      {"0x1f", true, 0x1F},
      {"0X1F", true, 0x1F},
      {"+0x10", true, 0x10},
      {" \t1a", true, 0x1A},
      {"abcdef01", true, 0xABCDEF01},
      {"FFFFFFFF", true, 0xFFFFFFFF},
      {"1Fz9", true, 0x1F},  // text after the digits is ignored
      {"12.5", true, 0x12},
      {"0x", true, 0},  // the 0 converts, the x is trailing text
      {"0xg", true, 0},
      {"-1", true, 0xFFFFFFFF},  // a '-' sign negates modulo 2^32
      {"-0x10", true, 0xFFFFFFF0},
      {"-80000000", true, 0x80000000},
      {"-0", true, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t target = kUntouched;
    EXPECT_EQ(ConvertConfigNumber(c.text, &target), c.converts) << c.text;
    EXPECT_EQ(target, c.value) << c.text;
  }
}

TEST(ConfigNumber, TextWithoutDigitsLeavesTheTargetUnchanged) {
  for (const char* text : {"", "-", "+", "x1", "g", "--1", "+-1", "zz"}) {
    std::uint32_t target = kUntouched;
    EXPECT_FALSE(ConvertConfigNumber(text, &target)) << text;
    EXPECT_EQ(target, kUntouched) << text;
  }
}

TEST(ConfigNumber, MoreThanEightSignificantDigitsSaturate) {
  const Case cases[] = {
      {"100000000", true, 0xFFFFFFFF},
      {"123456789", true, 0xFFFFFFFF},
      {"0x123456789ABCDEF0123", true, 0xFFFFFFFF},  // past 64 bits as well
      {"-123456789", true, 1},                      // saturated, then negated
      {"-fffffffffffffffffff", true, 1},
      {"00000000000000ffffffff", true, 0xFFFFFFFF},  // leading zeros do not count
      {"0x0000000012345678", true, 0x12345678},
  };
  for (const Case& c : cases) {
    std::uint32_t target = kUntouched;
    EXPECT_EQ(ConvertConfigNumber(c.text, &target), c.converts) << c.text;
    EXPECT_EQ(target, c.value) << c.text;
  }
}

TEST(ConfigNumber, AgreesWithTheCLibraryWithinThirtyTwoBits) {
  // Within 8 significant digits every C library gives the same low 32 bits.
  std::mt19937 rng(20240611);
  const std::string alphabet = "0123456789abcdefABCDEFxX+- g";
  for (int i = 0; i < 5000; ++i) {
    std::string text;
    const int length = static_cast<int>(rng() % 9);
    for (int j = 0; j < length; ++j) text.push_back(alphabet[rng() % alphabet.size()]);
    unsigned long expected = 0;
    const bool converts = std::sscanf(text.c_str(), "%lx", &expected) == 1;
    std::uint32_t target = kUntouched;
    EXPECT_EQ(ConvertConfigNumber(text.c_str(), &target), converts) << text;
    EXPECT_EQ(target, converts ? static_cast<std::uint32_t>(expected) : kUntouched) << text;
  }
}

}  // namespace
}  // namespace sfx
