// Keyword comparison: ASCII-only case folding and signed 8-bit order.
#include <gtest/gtest.h>

#include <string>

#include "config/config_reader.h"

namespace sfx {
namespace {

using namespace std::string_literals;

TEST(CompareKeyword, EqualIgnoringAsciiLetterCase) {
  EXPECT_EQ(CompareKeyword("set_reg_dw", "SET_REG_DW"), 0);
  EXPECT_EQ(CompareKeyword("Win2000", "WIN2000"), 0);
  EXPECT_EQ(CompareKeyword("", ""), 0);
}

TEST(CompareKeyword, PrefixesAndExtensionsDiffer) {
  EXPECT_EQ(CompareKeyword("WIN9", "WIN95"), -1);
  EXPECT_EQ(CompareKeyword("WIN95X", "WIN95"), 1);
  EXPECT_EQ(CompareKeyword("", "WIN95"), -1);
}

TEST(CompareKeyword, OrderIsThatOfTheFoldedCharacters) {
  EXPECT_EQ(CompareKeyword("a", "B"), -1);
  EXPECT_EQ(CompareKeyword("C", "b"), 1);
  // '_' (0x5F) lies between the upper and lower case letters: folding must
  // happen before comparing, so "_" is below "a" even though above "A".
  EXPECT_EQ(CompareKeyword("_", "A"), -1);
}

TEST(CompareKeyword, OnlyAsciiLettersFold) {
  EXPECT_NE(CompareKeyword("[", "{"), 0);
  EXPECT_NE(CompareKeyword("\xC0", "\xE0"), 0);
  EXPECT_NE(CompareKeyword("@", "`"), 0);
}

TEST(CompareKeyword, HighBytesCompareBelowEveryAsciiCharacter) {
  EXPECT_EQ(CompareKeyword("\xE9", "A"), -1);
  EXPECT_EQ(CompareKeyword("A", "\x80"), 1);
  // Even below the end of the keyword: a high byte after a full match is "less".
  EXPECT_EQ(CompareKeyword("WIN95\xFF", "WIN95"), -1);
}

TEST(CompareKeyword, TextEndsAtAnEmbeddedNul) {
  EXPECT_EQ(CompareKeyword("WIN95\0junk"s, "WIN95"), 0);
  EXPECT_EQ(CompareKeyword("\0WIN95"s, ""), 0);
}

}  // namespace
}  // namespace sfx
