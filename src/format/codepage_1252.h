// Windows-1252, the 8-bit code page of the entry names inside a payload
// image, decoded to Unicode. Shared by the packer (UTF-8 conversions of host
// file names) and the stub (UTF-16 names for the wide file calls).
//
// Windows-1252 is Latin-1 except for 0x80 to 0x9F, where it holds
// typographic characters (the euro sign, curly quotes, dashes, S/Z with
// caron, ...). Five bytes of that range (0x81, 0x8D, 0x8F, 0x90, 0x9D) have
// no character; they decode to the C1 code points of the same value, as the
// Windows converter does, so every byte decodes to exactly one code point.
#pragma once

#include <cstdint>

namespace sfx {

// The Unicode code point of one Windows-1252 byte; always below U+10000, so
// it is one UTF-16 unit.
std::uint16_t DecodeCp1252Byte(unsigned char byte);

}  // namespace sfx
