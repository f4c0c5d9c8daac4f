// Hexadecimal numbers of setup configuration files: see config_number.h.
// The conversion itself is sscanf's; only the width of `unsigned long`
// differs between platforms (64 bits on Linux, 32 on Windows), so a
// magnitude that does not fit 32 bits is settled here the way the 32-bit C
// library settles it.
#include "config/config_number.h"

#include <cstdio>

namespace sfx {

namespace {

constexpr int kMaxSignificantDigits = 8;  // hex digits of a 32-bit value

bool IsWhitespaceByte(char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20; }
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Whether the digits after the sign and prefix are worth more than 32 bits;
// `*negative` tells whether a '-' sign came first.
bool MagnitudeExceeds32Bits(const char* text, bool* negative) {
  const char* p = text;
  while (IsWhitespaceByte(*p)) ++p;
  *negative = (*p == '-');
  if (*p == '-' || *p == '+') ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  while (*p == '0') ++p;
  int digits = 0;
  while (IsHexDigit(*p)) {
    ++digits;
    ++p;
  }
  return digits > kMaxSignificantDigits;
}

}  // namespace

bool ConvertConfigNumber(const char* text, std::uint32_t* target) {
  unsigned long value = 0;
  if (std::sscanf(text, "%lx", &value) != 1) return false;
  auto result = static_cast<std::uint32_t>(value);  // low 32 bits
  bool negative = false;
  if (MagnitudeExceeds32Bits(text, &negative)) {
    // Saturated magnitude 0xFFFFFFFF, negated modulo 2^32 after a '-' sign.
    result = negative ? 1u : 0xFFFFFFFFu;
  }
  *target = result;
  return true;
}

}  // namespace sfx
