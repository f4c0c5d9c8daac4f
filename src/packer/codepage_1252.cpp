// Windows-1252 <-> UTF-8. Decoding one byte is the format's own table
// (format/codepage_1252.h); encoding searches that table for the range
// 0x80 to 0x9F.
#include "packer/codepage_1252.h"

#include <cstdio>

#include "format/codepage_1252.h"

namespace sfx {

namespace {

// The Windows-1252 byte of a code point, or -1 when it has none. C1 controls
// (U+0080 to U+009F) have none: those byte values mean other characters.
int EncodeCodePoint(std::uint32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  if (cp >= 0xA0 && cp <= 0xFF) return static_cast<int>(cp);
  for (int byte = 0x80; byte < 0xA0; ++byte) {
    if (DecodeCp1252Byte(static_cast<unsigned char>(byte)) == cp && !(cp >= 0x80 && cp < 0xA0)) return byte;
  }
  return -1;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    // Every code point of the table lies below U+10000.
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes the UTF-8 sequence at utf8[*pos], advancing *pos. False for any
// malformed sequence.
bool NextCodePoint(std::string_view utf8, std::size_t* pos, std::uint32_t* cp) {
  const auto lead = static_cast<unsigned char>(utf8[*pos]);
  std::size_t length = 0;
  std::uint32_t value = 0;
  std::uint32_t minimum = 0;
  if (lead < 0x80) {
    *cp = lead;
    *pos += 1;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (utf8.size() - *pos < length) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(utf8[*pos + i]);
    if ((c & 0xC0) != 0x80) return false;
    value = (value << 6) | (c & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *cp = value;
  *pos += length;
  return true;
}

}  // namespace

bool Utf8ToCp1252(std::string_view utf8, std::string* out, std::string* problem) {
  std::string result;
  result.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    std::uint32_t cp = 0;
    if (!NextCodePoint(utf8, &pos, &cp)) {
      if (problem != nullptr) *problem = "is not valid UTF-8";
      return false;
    }
    const int byte = EncodeCodePoint(cp);
    if (byte < 0) {
      if (problem != nullptr) {
        char text[80];
        std::snprintf(text, sizeof text, "contains U+%04X, which has no Windows-1252 character",
                      static_cast<unsigned>(cp));
        *problem = text;
      }
      return false;
    }
    result += static_cast<char>(byte);
  }
  *out = std::move(result);
  return true;
}

std::string Cp1252ToUtf8(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size());
  for (char c : cp1252) AppendUtf8(out, DecodeCp1252Byte(static_cast<unsigned char>(c)));
  return out;
}

unsigned char FoldCase1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  // a grave .. thorn, except the division sign 0xF7
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A:
      return 0x8A;  // s caron
    case 0x9C:
      return 0x8C;  // oe ligature
    case 0x9E:
      return 0x8E;  // z caron
    case 0xFF:
      return 0x9F;  // y diaeresis
    default:
      return c;
  }
}

std::string FoldName1252(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(FoldCase1252(static_cast<unsigned char>(c)));
  return folded;
}

}  // namespace sfx
