// Matching tokens against the keyword list (config_keywords.h).
#include "config/config_keywords.h"

#include <cstddef>

#include "config/config_reader.h"

namespace sfx {

KeywordMatch MatchKeyword(const std::string& token) {
  KeywordMatch match;
  for (std::size_t i = 0; i < kStatementKeywordTexts.size(); ++i) {
    if (CompareKeyword(token, kStatementKeywordTexts[i]) == 0) {
      match.kind = KeywordMatch::kStatement;
      match.statement = static_cast<StatementKeyword>(i);
      return match;
    }
  }
  for (const FileFlagKeyword& flag : kFileFlagKeywords) {
    if (CompareKeyword(token, flag.keyword) == 0) {
      match.kind = KeywordMatch::kFileFlag;
      match.bit = flag.bit;
      return match;
    }
  }
  return match;
}

}  // namespace sfx
