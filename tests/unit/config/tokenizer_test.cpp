// Tokenizer: words, quoting, comments and their consequences.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "config/config_reader.h"
#include "config/config_scrambler.h"
#include "support/temp_config_file.h"

namespace sfx {
namespace {

using test::TempConfigFile;
using namespace std::string_literals;

struct Token {
  std::string text;
  bool quoted;
  bool operator==(const Token& other) const { return text == other.text && quoted == other.quoted; }
};

void PrintTo(const Token& t, std::ostream* os) { *os << (t.quoted ? "Q[" : "W[") << t.text << "]"; }

// Tokenizes the whole of `bytes`; a thrown message ends the list and is
// stored in `*thrown`.
std::vector<Token> Tokenize(const std::string& bytes, std::string* thrown = nullptr) {
  TempConfigFile file(bytes);
  std::FILE* stream = std::fopen(file.path().c_str(), "rb");
  EXPECT_NE(stream, nullptr);
  ConfigReader reader;
  reader.stream = stream;
  std::vector<Token> out;
  try {
    for (;;) {
      bool quoted = true;  // must be cleared by every call
      std::optional<std::string> token = NextConfigToken(reader, &quoted);
      if (!token) {
        EXPECT_FALSE(quoted);
        break;
      }
      out.push_back({*token, quoted});
    }
  } catch (const ConfigError& error) {
    if (thrown != nullptr) *thrown = error.what();
  }
  std::fclose(stream);
  return out;
}

std::vector<Token> Words(std::initializer_list<const char*> words) {
  std::vector<Token> out;
  for (const char* w : words) out.push_back({w, false});
  return out;
}

TEST(TokenizerWords, WhitespaceOfEveryKindSeparatesWords) {
  EXPECT_EQ(Tokenize("  a\tb\r\nc\vd\fe f"), Words({"a", "b", "c", "d", "e", "f"}));
}

TEST(TokenizerWords, WordAtEndOfFileIsReturnedAndThenNothing) { EXPECT_EQ(Tokenize("last"), Words({"last"})); }

TEST(TokenizerWords, EmptyOrBlankFileHasNoToken) {
  EXPECT_TRUE(Tokenize("").empty());
  EXPECT_TRUE(Tokenize(" \r\n\t ").empty());
  EXPECT_TRUE(Tokenize("# only a comment\n   # and another").empty());
}

TEST(TokenizerWords, NulAndControlBytesAreOrdinaryBytes) {
  const std::vector<Token> got = Tokenize(
      "ab\0c\x1A"
      "d\\e next"s);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].text,
            "ab\0c\x1A"
            "d\\e"s);
  EXPECT_EQ(std::strlen(got[0].text.c_str()), 2u);
  EXPECT_EQ(got[1], (Token{"next", false}));
}

TEST(TokenizerComments, CommentInsideAWordJoinsItWithTheNextLine) {
  EXPECT_EQ(Tokenize("WIN95# the flag\nWINNT \"x\""), (std::vector<Token>{{"WIN95WINNT", false}, {"x", true}}));
}

TEST(TokenizerComments, CommentInsideQuotesDropsTheRestOfTheLine) {
  EXPECT_EQ(Tokenize("\"ab#cd\nef\""), (std::vector<Token>{{"abef", true}}));
}

TEST(TokenizerComments, OnlyALineFeedEndsAComment) { EXPECT_EQ(Tokenize("a #c\rb\nd"), Words({"a", "d"})); }

TEST(TokenizerComments, EndOfFileInsideACommentEndsTheFile) {
  EXPECT_EQ(Tokenize("word#comment"), Words({"word"}));
  std::string thrown;
  EXPECT_TRUE(Tokenize("\"open#comment", &thrown).empty());
  EXPECT_EQ(thrown, "unterminated string");
}

TEST(TokenizerQuoting, QuotedTextKeepsWhitespaceAcrossLines) {
  EXPECT_EQ(Tokenize("\"a b\r\n\tc\""), (std::vector<Token>{{"a b\r\n\tc", true}}));
}

TEST(TokenizerQuoting, TwoQuotesFormAnEmptyQuotedToken) {
  EXPECT_EQ(Tokenize("\"\" x"), (std::vector<Token>{{"", true}, {"x", false}}));
}

TEST(TokenizerQuoting, QuoteInsideAWordKeepsItsLettersAndQuotesTheRest) {
  EXPECT_EQ(Tokenize("abc\"d e\"f"), (std::vector<Token>{{"abcd e", true}, {"f", false}}));
}

TEST(TokenizerQuoting, NextTokenMayFollowAClosingQuoteDirectly) {
  EXPECT_EQ(Tokenize("\"a\"\"b\"c"), (std::vector<Token>{{"a", true}, {"b", true}, {"c", false}}));
}

TEST(TokenizerQuoting, BackslashIsNotAnEscape) {
  EXPECT_EQ(Tokenize("\"a\\\" b"), (std::vector<Token>{{"a\\", true}, {"b", false}}));
}

TEST(TokenizerQuoting, EndOfFileInsideQuotesThrowsTheMessageText) {
  std::string thrown;
  const std::vector<Token> got = Tokenize("ok \"never closed", &thrown);
  EXPECT_EQ(got, Words({"ok"}));
  EXPECT_EQ(thrown, "unterminated string");
  thrown.clear();
  Tokenize("word\"", &thrown);
  EXPECT_EQ(thrown, "unterminated string");
}

TEST(TokenizerScrambled, ScrambledFileGivesTheSameTokensAsPlain) {
  const std::string plain = "WIN95#c\nWINNT \"a b.dll\" VERSION_HI 0x1F\n\"\"";
  const std::vector<Token> expected = Tokenize(plain);
  ASSERT_EQ(expected.size(), 5u);
  for (const int marker : {0x00, 0x09, 0x0A, 0x1F, 0x7F, 0x80, 0xEF, 0xFF}) {
    EXPECT_EQ(Tokenize(ScrambleConfig(plain, static_cast<std::uint8_t>(marker))), expected) << marker;
  }
}

}  // namespace
}  // namespace sfx
