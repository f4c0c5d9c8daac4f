// Character reader and tokenizer of setup configuration files.
//
// A configuration file is either plain text or scrambled with a rolling
// one-byte key. The first byte decides: a byte outside the printable range
// 0x20..0x7E marks a scrambled file, and the key starts at that byte XOR 0x20
// (so the first byte itself reads as a space). Every scrambled byte is XORed
// with the current key, which then grows by 15 modulo 256.
//
// The tokenizer turns the characters into words and quoted strings: '#'
// starts a comment up to the next line feed anywhere (even inside a word or
// between quotes, where it does not end the token), whitespace ends an
// unquoted word, and a '"' either opens quoting (keeping the letters already
// read) or, once quoting is open, closes the token. There are no escapes.
//
// Errors leave these functions as a ConfigError carrying the message text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "config/config_error.h"

namespace sfx {

// State of the reader of one configuration file; start values as constructed.
// The characters come from `stream` when it is set, otherwise from the
// `size` bytes at `bytes` (a configuration held in memory).
struct ConfigReader {
  std::FILE* stream = nullptr;          // opened with mode "rb" by the parser
  const std::uint8_t* bytes = nullptr;  // read when there is no stream
  std::size_t size = 0;                 // bytes available at `bytes`
  std::size_t position = 0;             // the next byte to read from `bytes`
  bool first_byte_pending = true;       // no byte has been read yet
  bool scrambled = false;               // decided on the first byte, never revised
  std::uint8_t key = 0;                 // current descrambling key (scrambled files)
  bool at_end = false;                  // end of file was seen; it persists
};

// The scramble: a first byte outside 0x20..0x7E marks a scrambled file and
// starts the key at that byte XOR kScrambleFirstByteMask; the key grows by
// kScrambleKeyStep after every byte. The scrambler (config_scrambler.h)
// writes with the same constants.
inline constexpr std::uint8_t kScrambleFirstByteMask = 0x20;
inline constexpr std::uint8_t kScrambleKeyStep = 15;

// Classic-locale character classes, spelled out so that no locale can change
// them: printable ASCII (a first byte outside it marks a scrambled file), and
// the whitespace that ends an unquoted word.
inline constexpr bool IsPrintableConfigByte(int c) { return c >= 0x20 && c <= 0x7E; }
inline constexpr bool IsConfigWhitespace(int c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20; }

// Message texts of the ConfigErrors thrown by the reader and tokenizer.
inline constexpr const char* kMsgUnterminatedString = "unterminated string";
inline constexpr const char* kMsgMem = "mem";

// Returns the next character (0..255) of the file, unscrambled, or EOF (-1).
// A read error counts as end of file.
int ReadConfigChar(ConfigReader& reader);

// Returns the next token, or no token when the file ends before one began.
// `*quoted` is cleared first and set when quoting was opened in the token.
// Throws a ConfigError with kMsgUnterminatedString or kMsgMem.
std::optional<std::string> NextConfigToken(ConfigReader& reader, bool* quoted);

// Compares the token's text (up to its first NUL) with `keyword`, folding only
// 'A'..'Z' and comparing as signed 8-bit values: 0 when equal, else -1 or 1.
int CompareKeyword(const std::string& token, const char* keyword);

}  // namespace sfx
