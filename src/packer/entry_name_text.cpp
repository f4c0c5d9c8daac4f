// Printable forms of file-derived text (see entry_name_text.h).
#include "packer/entry_name_text.h"

#include <cstdio>

#include "packer/codepage_1252.h"
#include "packer/host_path.h"

namespace sfx {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendEscape(std::string& out, const char* format, unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, format, value);
  out += escape;
}

}  // namespace

bool NextUtf8CodePoint(std::string_view text, std::size_t* pos, std::uint32_t* code_point) {
  const auto lead = static_cast<unsigned char>(text[*pos]);
  std::size_t length = 1;
  std::uint32_t value = lead;
  // The allowed range of the second byte rules out overlong forms,
  // surrogates and values above U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else if (lead >= 0x80) {
    *pos += 1;
    return false;
  }
  if (text.size() - *pos < length) {
    *pos += 1;
    return false;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[*pos + i]);
    if (!IsContinuation(byte) || (i == 1 && (byte < low || byte > high))) {
      *pos += 1;
      return false;
    }
    value = (value << 6) | (byte & 0x3F);
  }
  *pos += length;
  *code_point = value;
  return true;
}

std::string PrintableText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t start = pos;
    std::uint32_t c = 0;
    if (!NextUtf8CodePoint(utf8, &pos, &c)) {
      AppendEscape(out, "\\x%02X", static_cast<unsigned char>(utf8[start]));
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      AppendEscape(out, "\\x%02X", c);
    } else if (c >= 0x80 && c <= 0x9F) {
      AppendEscape(out, "\\u%04X", c);
    } else {
      out.append(utf8, start, pos - start);
    }
  }
  return out;
}

std::string PrintableName(std::string_view cp1252) { return PrintableText(Cp1252ToUtf8(cp1252)); }

std::string PrintableQuotedPath(const std::filesystem::path& path) {
  return "\"" + PrintableText(PathToUtf8(path)) + "\"";
}

}  // namespace sfx
