// Conversions between UTF-8 (host file names, manifests, tool output) and
// Windows-1252, the 8-bit code page of the names inside a payload image.
//
// Windows-1252 is Latin-1 except for 0x80 to 0x9F, where it holds
// typographic characters (the euro sign, curly quotes, dashes, S/Z with
// caron, ...). Five bytes of that range (0x81, 0x8D, 0x8F, 0x90, 0x9D) have
// no character; when decoding they become the C1 code points of the same
// value, as the Windows converter does, so every byte string decodes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sfx {

// Converts UTF-8 text to Windows-1252. Returns false, with a reason in
// `*problem` (when given), for malformed UTF-8 (overlong forms, surrogates,
// truncated sequences, values past U+10FFFF) and for characters that have no
// Windows-1252 byte.
bool Utf8ToCp1252(std::string_view utf8, std::string* out, std::string* problem);

// Converts Windows-1252 bytes to UTF-8; never fails.
std::string Cp1252ToUtf8(std::string_view cp1252);

// Upper-case form of one Windows-1252 byte: ASCII letters, the accented
// Latin-1 letters and the caron/ligature letters of 0x80 to 0x9F. Bytes
// without a single-byte upper case (sharp s, micro sign, ...) stay as they are.
unsigned char FoldCase1252(unsigned char c);

// The whole string folded by FoldCase1252: two names that a case-insensitive
// file system treats as the same have the same folded form.
std::string FoldName1252(std::string_view name);

}  // namespace sfx
