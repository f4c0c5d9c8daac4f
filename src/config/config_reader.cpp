// Character reader and tokenizer of setup configuration files: see
// config_reader.h for the scrambling rule and the token rules.
#include "config/config_reader.h"

#include <new>

#include "common/entry_names.h"

namespace sfx {

namespace {

constexpr int kQuote = 0x22;
constexpr int kCommentStart = 0x23;
constexpr int kLineFeed = 0x0A;

// Appends one byte, turning an allocation failure into the "mem" message.
void AppendTokenByte(std::string& text, int c) {
  try {
    text.push_back(static_cast<char>(c));
  } catch (const std::bad_alloc&) {
    throw ConfigError(kMsgMem);
  }
}

}  // namespace

int ReadConfigChar(ConfigReader& reader) {
  if (reader.at_end) return EOF;
  int c = EOF;
  if (reader.stream != nullptr) {
    c = std::fgetc(reader.stream);
  } else if (reader.bytes != nullptr && reader.position < reader.size) {
    c = reader.bytes[reader.position++];
  }
  if (c == EOF) {
    reader.at_end = true;
    return EOF;
  }
  if (reader.first_byte_pending && !IsPrintableConfigByte(c)) {
    reader.scrambled = true;
    reader.key = static_cast<std::uint8_t>(c ^ kScrambleFirstByteMask);
  }
  int result = c;
  if (reader.scrambled) {
    result = c ^ reader.key;
    reader.key = static_cast<std::uint8_t>(reader.key + kScrambleKeyStep);  // wraps modulo 256
  }
  reader.first_byte_pending = false;
  return result;
}

std::optional<std::string> NextConfigToken(ConfigReader& reader, bool* quoted) {
  std::string text;
  bool started = false;
  bool in_comment = false;
  *quoted = false;
  for (;;) {
    const int c = ReadConfigChar(reader);
    if (in_comment) {
      // The line feed that ends a comment is consumed and never separates tokens.
      if (c == kLineFeed || c == EOF) in_comment = false;
      continue;
    }
    if (c == EOF) {
      if (*quoted) throw ConfigError(kMsgUnterminatedString);
      if (started) return text;
      return std::nullopt;
    }
    if (c == kCommentStart) {
      in_comment = true;
      continue;
    }
    if (IsConfigWhitespace(c)) {
      if (!started) continue;
      if (*quoted) {
        AppendTokenByte(text, c);
        continue;
      }
      return text;
    }
    if (c == kQuote) {
      if (started && *quoted) return text;
      *quoted = true;
      started = true;
      continue;
    }
    AppendTokenByte(text, c);
    started = true;
  }
}

int CompareKeyword(const std::string& token, const char* keyword) {
  // c_str() stops the comparison at the first NUL inside the token.
  const char* a = token.c_str();
  const char* b = keyword;
  for (;; ++a, ++b) {
    if (*a == '\0' && *b == '\0') return 0;
    const auto fa = static_cast<signed char>(LowerAscii(*a));
    const auto fb = static_cast<signed char>(LowerAscii(*b));
    if (fa < fb) return -1;
    if (fa > fb) return 1;
  }
}

}  // namespace sfx
