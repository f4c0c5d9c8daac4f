// Keywords of setup configuration files and the entry flag bits.
//
// The keywords are listed once, in config_keywords.def. Statement keywords
// are tried first, in the order of `kStatementKeywordTexts`; a token that
// matches none is tried against the file-flag keywords in the order of
// `kFileFlagKeywords`. A token that matches no keyword names a file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace sfx {

// Entry flag bits that no file-flag keyword sets directly.
inline constexpr std::uint32_t kEntryUseSubdir = 0x400;
inline constexpr std::uint32_t kEntryRegDword = 0x20000;
inline constexpr std::uint32_t kEntryRegString = 0x40000;

// Bit of the record's `flags` set by UPDATE_TRESSEL, and the field's default.
inline constexpr std::uint32_t kConfigFlagsDefault = 0x1;
inline constexpr std::uint32_t kConfigFlagUpdateTressel = 0x2;

// One file-flag keyword and the bit it adds to the pending flags.
struct FileFlagKeyword {
  const char* keyword;
  std::uint32_t bit;
};

inline constexpr auto kFileFlagKeywords = std::to_array<FileFlagKeyword>({
#define SFX_FILE_FLAG_KEYWORD(text, bit) {text, bit},
#include "config/config_keywords.def"
});

// Statement keywords, in the order in which the parser compares them.
enum class StatementKeyword {
#define SFX_STATEMENT_KEYWORD(enumerator, text) enumerator,
#include "config/config_keywords.def"
};

inline constexpr auto kStatementKeywordTexts = std::to_array<const char*>({
#define SFX_STATEMENT_KEYWORD(enumerator, text) text,
#include "config/config_keywords.def"
});

// What a token is, by the parser's order: a statement keyword, else a
// file-flag keyword, else a file name (kind kNone).
struct KeywordMatch {
  enum Kind { kNone, kStatement, kFileFlag } kind = kNone;
  StatementKeyword statement = StatementKeyword::kUpdateTressel;  // with kStatement
  std::uint32_t bit = 0;                                          // with kFileFlag
};

// Matches `token` against the keywords with CompareKeyword (config_reader.h).
KeywordMatch MatchKeyword(const std::string& token);

// Calls `visit` with the text of every keyword, statements first, each list
// in its order.
template <typename Visit>
void ForEachKeyword(Visit visit) {
  for (const char* text : kStatementKeywordTexts) visit(text);
  for (const FileFlagKeyword& flag : kFileFlagKeywords) visit(flag.keyword);
}

}  // namespace sfx
