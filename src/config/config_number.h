// Hexadecimal numbers of setup configuration files.
//
// A number converts like sscanf's "%lx": leading whitespace, an optional sign,
// an optional 0x or 0X prefix, then hexadecimal digits up to the first other
// character; the rest of the text is ignored. The target is 32 bits wide on
// every platform, and the result is the one that the 32-bit stub computes: a
// magnitude above 0xFFFFFFFF saturates to 0xFFFFFFFF, and a '-' sign then
// negates modulo 2^32 (so "-1" is 0xFFFFFFFF and an overflowing negative
// number is 1).
#pragma once

#include <cstdint>

namespace sfx {

// Converts `text` into `*target`; text that converts nothing leaves `*target`
// unchanged. Returns whether a number was converted.
bool ConvertConfigNumber(const char* text, std::uint32_t* target);

}  // namespace sfx
