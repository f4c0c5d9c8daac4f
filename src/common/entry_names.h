// The rules for entry names that the stub and the packer share, in one place:
// ASCII case folding, which names are the setup program and the setup
// configuration, which names stay inside the folder they are appended to,
// which characters Windows cannot put in a name, and which names open a
// device instead of a file.
//
// An entry name is a relative path in Windows-1252 with backslashes between
// its folders. Everything here is plain byte work (no Windows headers), so
// the stub, the packer and the tools decide alike.
#pragma once

#include <string_view>

namespace sfx {

// The setup program, started after extraction, and the setup configuration,
// read to decide whether the update applies. Both are matched as whole
// names (top level only), ASCII case ignored.
inline constexpr char kSetupProgramName[] = "Setup.exe";
inline constexpr wchar_t kSetupProgramFileName[] = L"Setup.exe";
inline constexpr char kSetupConfigName[] = "Setup.cfg";

// Lower-case form of an ASCII letter; every other byte stays as it is. Spelled
// out so that no locale can change it.
constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the two strings are equal without regard to ASCII letter case.
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// True when `name` is the setup program, or the setup configuration.
bool IsSetupProgramName(std::string_view name);
bool IsSetupConfigName(std::string_view name);

// True for the printable characters that Windows refuses in a file name:
// < > " | ? * (the separators, ':' and control characters are checked apart).
bool IsCharacterWindowsRefuses(char c);

// True when `name` is a relative name that stays inside the folder it is
// appended to: not empty; no '/' at all and no leading '\'; no ':' anywhere
// (drive letters, alternate streams); no control characters (below 0x20);
// no empty component between backslashes (so no trailing '\' either); no
// component made only of dots and spaces ("." and ".." among them) and none
// ending in a dot or a space, since Windows strips those and could turn such
// a component into "..".
bool IsSafeEntryName(const char* name);

// True when the component [begin, end) of an entry name opens a Windows
// device instead of a file: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to
// COM9 and LPT0 to LPT9, also with the superscript digits 1, 2 and 3
// (Windows-1252 0xB9, 0xB2, 0xB3), in any ASCII letter case, with or
// without an extension and with spaces before the extension or at the end
// ("nul.txt", "CON .txt", "aux ").
bool IsDeviceNameComponent(const char* begin, const char* end);

// True when any backslash-separated component of `name` is a device name.
bool HasDeviceNameComponent(const char* name);

}  // namespace sfx
