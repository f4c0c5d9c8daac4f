// One item of an LZ parse: a literal or a match in the form that the encoder
// will send it.
#pragma once

#include <cstdint>

namespace sfx::encode {

enum class TokenKind : std::uint8_t {
  kLiteral,
  kRepeatPrevious,  // kSymbolRepeatPrevious
  kRecent,          // kSymbolFirstRecent + `slot` 0..3
  kShort,           // kSymbolFirstShort + short code
  kLong,            // kSymbolFirstLong + length code
};

// A literal (length 1) or a match with its coded form.
struct Token {
  std::uint32_t distance;
  std::uint16_t length;
  TokenKind kind;
  std::uint8_t value;  // the literal byte, or the recent-distance slot
};

}  // namespace sfx::encode
