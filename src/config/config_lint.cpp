// The Setup.cfg linter (config_lint.h).
//
// The installer's parser gives the verdict and the message; a second pass
// here reads the same characters through the installer's character reader,
// splits them into tokens by the tokenizer's rules while it counts lines and
// columns, and replays the grammar's steps to find the token at which the
// parser stops and the numbers worth a warning.
#include "config/config_lint.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "config/config_keywords.h"
#include "config/config_number.h"
#include "config/config_reader.h"
#include "config/product_executable.h"

namespace sfx {
namespace {

struct Place {
  int line = 1;
  int column = 1;
};

struct LintToken {
  std::string text;
  bool quoted = false;
  Place at;        // the token's first character, or its opening quote
  Place quote_at;  // where quoting opened, when `quoted`
};

std::string Hex8(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(value));
  return buffer;
}

// The tokenizer's rules (config_reader.h) over the installer's character
// reader, with the place of every character.
class PlacedTokenizer {
 public:
  explicit PlacedTokenizer(std::string_view bytes) {
    reader_.bytes = reinterpret_cast<const std::uint8_t*>(bytes.data());
    reader_.size = bytes.size();
  }

  bool scrambled() const { return reader_.scrambled; }
  // Set when the file ended inside quotes; `unterminated_at` is the quote.
  bool unterminated() const { return unterminated_; }
  Place unterminated_at() const { return unterminated_at_; }

  std::optional<LintToken> Next() {
    LintToken token;
    bool started = false;
    bool comment = false;
    for (;;) {
      const Place at = place_;
      const int c = Read();
      if (comment) {
        if (c == '\n' || c == EOF) comment = false;
        continue;
      }
      if (c == EOF) {
        if (token.quoted) {
          unterminated_ = true;
          unterminated_at_ = token.quote_at;
          return std::nullopt;
        }
        if (started) return token;
        return std::nullopt;
      }
      if (c == '#') {
        comment = true;
      } else if (IsConfigWhitespace(c)) {
        if (!started) continue;
        if (!token.quoted) return token;
        token.text.push_back(static_cast<char>(c));
      } else if (c == '"') {
        if (started && token.quoted) return token;
        if (!started) token.at = at;
        started = token.quoted = true;
        token.quote_at = at;
      } else {
        if (!started) token.at = at;
        started = true;
        token.text.push_back(static_cast<char>(c));
      }
    }
  }

 private:
  int Read() {
    const bool first = reader_.first_byte_pending;
    const int c = ReadConfigChar(reader_);
    if (c == EOF || (first && reader_.scrambled)) return c;  // the marker has no place in the text
    if (c == '\n') {
      ++place_.line;
      place_.column = 1;
    } else {
      ++place_.column;
    }
    return c;
  }

  ConfigReader reader_;
  Place place_;
  bool unterminated_ = false;
  Place unterminated_at_;
};

// How a number's text converts: its value, whether anything converted, and
// the text after the digits that the conversion ignores.
struct NumberText {
  std::uint32_t value = 0;
  bool converted = false;
  std::string rest;
  bool has_prefix = false;  // written with 0x
  std::size_t digits = 0;   // hexadecimal digits read
};

NumberText ReadNumber(const std::string& text, std::uint32_t start_value) {
  NumberText number;
  number.value = start_value;
  const char* c = text.c_str();  // up to a NUL, as the installer sees it
  number.converted = ConvertConfigNumber(c, &number.value);
  if (!number.converted) return number;
  unsigned long ignored = 0;
  int used = 0;
  std::sscanf(c, "%lx%n", &ignored, &used);
  number.rest = std::string(c + used);
  std::string_view digits(c, static_cast<std::size_t>(used));
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
  number.has_prefix = digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  number.digits = digits.size() - (number.has_prefix ? 2 : 0);
  return number;
}

// The packed form of a dotted version such as "5.0.0.0", when its parts
// fit in a byte each; an empty string otherwise.
std::string PackedSuggestion(const std::string& text) {
  std::uint32_t packed = 0;
  int parts = 0;
  std::size_t i = 0;
  while (i <= text.size()) {
    std::size_t j = i;
    unsigned part = 0;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9' && part < 256) part = part * 10 + (text[j++] - '0');
    if (j == i || part > 255 || ++parts > 4) return "";
    packed |= part << (8 * (4 - parts));
    if (j == text.size()) break;
    if (text[j] != '.') return "";
    i = j + 1;
  }
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08lX", static_cast<unsigned long>(packed));
  return buffer;
}

// Replays the parser's steps over placed tokens.
class Walk {
 public:
  Walk(std::string_view bytes, ConfigLint* lint) : tokens_(bytes), lint_(lint) {}

  // Runs to the end of the file or to the first error, which leaves its
  // place and a hint to add to the parser's message.
  void Run() {
    while (!stopped_) Step();
    if (lo_at_ && hi_at_ && version_lo_ > version_hi_) {
      const Place at = std::max(
          *lo_at_, *hi_at_, [](Place a, Place b) { return a.line != b.line ? a.line < b.line : a.column < b.column; });
      Warn(at, "empty range: VERSION_LO " + Hex8(version_lo_) + " is above VERSION_HI " + Hex8(version_hi_) +
                   ", so no installed version qualifies and the installer always stops after Setup.exe");
    }
  }

  bool failed() const { return error_at_.has_value(); }
  Place error_at() const { return *error_at_; }
  const std::string& hint() const { return hint_; }
  bool any_token() const { return any_token_; }
  bool product_name() const { return product_name_; }
  bool scrambled() const { return tokens_.scrambled(); }

 private:
  std::optional<LintToken> Take() {
    std::optional<LintToken> token = tokens_.Next();
    if (token) {
      any_token_ = true;
    } else if (tokens_.unterminated()) {
      Fail(tokens_.unterminated_at());
    }
    return token;
  }

  // An argument: the next token, or the missing-argument error at the keyword.
  std::optional<LintToken> Argument(const LintToken& keyword) {
    std::optional<LintToken> token = Take();
    if (!token && !stopped_) Fail(keyword.at);
    return token;
  }

  void Fail(Place at, std::string hint = "") {
    if (stopped_) return;
    error_at_ = at;
    hint_ = std::move(hint);
    stopped_ = true;
  }

  void Warn(Place at, std::string message) { lint_->warnings.push_back({at.line, at.column, std::move(message)}); }

  void Step() {
    std::optional<LintToken> token = Take();
    if (!token) {
      if (!stopped_ && pending_) Fail(*pending_at_, "an entry's flags need a quoted file name after them");
      stopped_ = true;
      return;
    }
    const KeywordMatch match = MatchKeyword(token->text);
    if (match.kind == KeywordMatch::kStatement) {
      Statement(match.statement, *token);
      return;
    }
    if (match.kind == KeywordMatch::kFileFlag) {
      if (!pending_) pending_at_ = token->at;
      pending_ |= match.bit;
      if (token->quoted) Fail(token->at);
      return;
    }
    pending_ = 0;
    if (!token->quoted) Fail(token->at, NotQuotedHint(token->text));
  }

  static std::string NotQuotedHint(const std::string& word) {
    const std::string keyword = ClosestKeyword(word);
    if (!keyword.empty()) return "'" + word + "' is no keyword: did you mean " + keyword + "?";
    return "a file name is written in quotes: \"" + word + "\"";
  }

  void CheckPending(Place at) {
    if (pending_) Fail(at, "the flags before it need a quoted file name");
  }

  void Statement(StatementKeyword keyword, const LintToken& token) {
    const char* name = kStatementKeywordTexts[static_cast<std::size_t>(keyword)];
    switch (keyword) {
      case StatementKeyword::kVersionLo:
      case StatementKeyword::kVersionHi: {
        const bool lo = keyword == StatementKeyword::kVersionLo;
        std::optional<LintToken> arg = Argument(token);
        if (!arg) return;
        (lo ? lo_at_ : hi_at_) = token.at;
        Version(name, *arg, lo ? &version_lo_ : &version_hi_);
        CheckPending(token.at);
        if (arg->quoted) Fail(arg->at, "a number is written without quotes");
        return;
      }
      case StatementKeyword::kProductName:
      case StatementKeyword::kProductTitle:
      case StatementKeyword::kUseSubdir: {
        std::optional<LintToken> arg = Argument(token);
        if (!arg) return;
        if (keyword == StatementKeyword::kProductName) product_name_ = true;
        if (keyword == StatementKeyword::kUseSubdir) {
          if (!pending_) pending_at_ = token.at;
          pending_ |= kEntryUseSubdir;
        } else {
          CheckPending(token.at);
        }
        if (!arg->quoted) Fail(arg->at, std::string(name) + " takes a quoted text: \"" + arg->text + "\"");
        return;
      }
      case StatementKeyword::kSetRegStr:
      case StatementKeyword::kSetRegDw: {
        if (!Argument(token)) return;
        std::optional<LintToken> value = Argument(token);
        if (!value) return;
        pending_ = 0;
        if (keyword == StatementKeyword::kSetRegStr) {
          if (!value->quoted) Fail(value->at, "SET_REG_STR takes a quoted text: \"" + value->text + "\"");
          return;
        }
        Dword(*value);
        if (value->quoted) Fail(value->at, "a number is written without quotes");
        return;
      }
      default:  // the switches, which take no argument
        CheckPending(token.at);
        if (token.quoted) Fail(token.at, std::string(name) + " is written without quotes");
        return;
    }
  }

  // VERSION_LO or VERSION_HI with the argument `arg`: converts it into
  // `*target` as the parser does, and warns about what it likely meant.
  void Version(const char* keyword, const LintToken& arg, std::uint32_t* target) {
    const NumberText number = ReadNumber(arg.text, *target);
    *target = number.value;
    const std::string what = std::string(keyword) + " " + arg.text;
    const std::string packed = PackedSuggestion(arg.text);
    if (arg.text.find('.') != std::string::npos) {
      std::string message = what + " is read as " + Hex8(number.value) +
                            ": a number ends at its first character that is not a hexadecimal digit. Versions are "
                            "packed hexadecimal, one byte per part";
      message += packed.empty() ? " (4.1.0.0 is 04010000)" : ": write " + packed;
      Warn(arg.at, message);
    } else if (!number.converted) {
      Warn(arg.at, what + " is not a hexadecimal number: " + keyword + " stays " + Hex8(number.value));
    } else if (!number.rest.empty()) {
      Warn(arg.at,
           what + ": the text '" + number.rest + "' after the number is ignored; read as " + Hex8(number.value));
    } else if (!number.has_prefix && number.digits < 7 && number.value != 0) {
      Warn(arg.at, what + " is " + Hex8(number.value) + ", version " + DottedVersion(number.value) +
                       ": versions are packed hexadecimal, one byte per part, major first (4.1.0.0 is 04010000)");
    }
  }

  void Dword(const LintToken& arg) {
    const NumberText number = ReadNumber(arg.text, pending_dword_);
    if (!number.converted) {
      Warn(arg.at, "SET_REG_DW value '" + arg.text + "' is not a hexadecimal number: the installer stores " +
                       Hex8(number.value));
    } else if (!number.rest.empty()) {
      Warn(arg.at, "SET_REG_DW value '" + arg.text + "': the text '" + number.rest +
                       "' after the number is ignored; read as " + Hex8(number.value));
    }
    pending_dword_ = 0;
  }

  PlacedTokenizer tokens_;
  ConfigLint* lint_;
  bool stopped_ = false;
  bool any_token_ = false;
  bool product_name_ = false;
  std::optional<Place> error_at_;
  std::string hint_;
  std::uint32_t pending_ = 0;
  std::optional<Place> pending_at_;  // the first flag keyword of the pending entry
  std::uint32_t pending_dword_ = 42;
  std::uint32_t version_lo_ = 0;
  std::uint32_t version_hi_ = 0xFFFFFFFF;
  std::optional<Place> lo_at_;
  std::optional<Place> hi_at_;
};

// The parser's message on one line: its only line feed becomes a space.
std::string OneLine(std::string message) {
  std::replace(message.begin(), message.end(), '\n', ' ');
  return message;
}

bool LooksLikePlainText(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return IsConfigWhitespace(c) || IsPrintableConfigByte(c);
  });
}

// Edit distance with transpositions, letter case ignored.
std::size_t Distance(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = fold(a[i - 1]) == fold(b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && fold(a[i - 1]) == fold(b[j - 2]) && fold(a[i - 2]) == fold(b[j - 1])) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::string ClosestKeyword(std::string_view word) {
  if (word.size() > 64) return "";
  std::string best;
  std::size_t best_distance = 3;
  auto consider = [&](const char* keyword) {
    const std::size_t distance = Distance(word, keyword);
    if (distance < best_distance) {
      best_distance = distance;
      best = keyword;
    }
  };
  ForEachKeyword(consider);
  return best;
}

ConfigLint LintSetupConfig(std::string_view bytes) {
  ConfigLint lint;
  std::string message;
  lint.parsed = ParseSetupConfigBytesQuiet(&lint.config, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           bytes.size(), &message);
  // A plain text that the installer reads as scrambled: its tokens are noise,
  // so the parser's error gets neither a place nor a hint.
  bool misread = false;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    misread = true;
    lint.warnings.push_back({1, 1,
                             "the file starts with a UTF-8 byte-order mark: the installer reads a file whose first "
                             "byte is not printable ASCII as scrambled, so it sees none of this text. Save the file "
                             "without a byte-order mark"});
  }
  Walk walk(bytes, &lint);
  walk.Run();
  lint.scrambled = walk.scrambled();
  if (lint.scrambled && !lint.parsed && !misread && LooksLikePlainText(bytes)) {
    misread = true;
    char first[8];
    std::snprintf(first, sizeof first, "0x%02X", static_cast<unsigned char>(bytes[0]));
    lint.warnings.insert(lint.warnings.begin(),
                         {1, 1,
                          std::string("the file starts with the byte ") + first +
                              ", which is not printable ASCII: the installer reads such a file as scrambled and sees "
                              "none of this text. Start the file with printable text (a keyword or a comment)"});
  }
  if (!lint.parsed) {
    LintFinding error;
    if (walk.failed() && !misread) {
      error = {walk.error_at().line, walk.error_at().column, OneLine(message)};
      if (!walk.hint().empty()) error.message += " (" + walk.hint() + ")";
    } else {
      error.message = OneLine(message);
    }
    lint.errors.push_back(std::move(error));
    return lint;
  }
  if (!walk.any_token()) {
    lint.errors.push_back({1, 1,
                           std::string("empty configuration: with no statements the installer accepts any installed "
                                       "version of any program registered as ") +
                               kProductExecutable});
  } else if (!walk.product_name() && lint.config.mp3_install == 0) {
    lint.errors.push_back({1, 1,
                           std::string("no PRODUCT_NAME: the installer then accepts any program registered as ") +
                               kProductExecutable + "; name the product, for instance PRODUCT_NAME \"Mivor\""});
  }
  return lint;
}

bool PackInstalledVersion(std::string_view text, std::uint32_t* packed) {
  std::uint32_t result = 0;
  int parts = 0;
  std::size_t i = 0;
  for (;;) {
    std::size_t j = i;
    unsigned long part = 0;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9' && part <= 65535) {
      part = part * 10 + static_cast<unsigned long>(text[j++] - '0');
    }
    if (j == i || j - i > 5 || part > 65535 || ++parts > 4) return false;
    result |= static_cast<std::uint32_t>(part & 0xFF) << (8 * (4 - parts));
    if (j == text.size()) break;
    if (text[j] != '.') return false;
    i = j + 1;
  }
  *packed = result;
  return true;
}

std::string DottedVersion(std::uint32_t packed) {
  return std::to_string(packed >> 24) + "." + std::to_string((packed >> 16) & 0xFF) + "." +
         std::to_string((packed >> 8) & 0xFF) + "." + std::to_string(packed & 0xFF);
}

UpdateVerdict DecideForInstalled(const ConfigLint& lint, const InstalledProduct& installed) {
  // The order of the installer's own check: the switch, the range, the
  // product name, the language file.
  const SetupConfig& c = lint.config;
  if (!lint.parsed) return {false, "Setup.cfg does not parse"};
  if (c.mp3_install == 1) return {true, "MP3_INSTALL skips the check"};
  if (installed.version < c.version_lo) return {false, "below VERSION_LO"};
  if (installed.version > c.version_hi) return {false, "above VERSION_HI"};
  if (c.product_name != nullptr && installed.product_name != nullptr &&
      std::string_view(c.product_name) != installed.product_name) {
    return {false, "product name differs"};
  }
  if (c.check_language != 0 && !installed.language_file) return {false, "language file missing"};
  return {true, "in range"};
}

}  // namespace sfx
