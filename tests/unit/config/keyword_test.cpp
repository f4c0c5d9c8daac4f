// Keyword comparison: ASCII-only case folding and signed 8-bit order; the
// keyword list: no keyword hides another.
#include <gtest/gtest.h>

#include <string>

#include "config/config_keywords.h"
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

// Every listed keyword, in lower case, matches as itself.
TEST(MatchKeyword, EveryKeywordIsItselfInAnyCase) {
  auto lower = [](std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
  };
  for (std::size_t i = 0; i < kStatementKeywordTexts.size(); ++i) {
    const KeywordMatch match = MatchKeyword(lower(kStatementKeywordTexts[i]));
    EXPECT_EQ(match.kind, KeywordMatch::kStatement) << kStatementKeywordTexts[i];
    EXPECT_EQ(static_cast<std::size_t>(match.statement), i) << kStatementKeywordTexts[i];
  }
  for (const FileFlagKeyword& flag : kFileFlagKeywords) {
    const KeywordMatch match = MatchKeyword(lower(flag.keyword));
    EXPECT_EQ(match.kind, KeywordMatch::kFileFlag) << flag.keyword;
    EXPECT_EQ(match.bit, flag.bit) << flag.keyword;
  }
  EXPECT_EQ(MatchKeyword("mivor.exe").kind, KeywordMatch::kNone);
}

}  // namespace
}  // namespace sfx
