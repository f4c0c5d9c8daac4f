// Entry name rules shared by the stub and the packer (see entry_names.h).
#include "common/entry_names.h"

namespace sfx {

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool IsSetupProgramName(std::string_view name) { return EqualsIgnoreAsciiCase(name, kSetupProgramName); }

bool IsSetupConfigName(std::string_view name) { return EqualsIgnoreAsciiCase(name, kSetupConfigName); }

bool IsCharacterWindowsRefuses(char c) { return c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*'; }

namespace {

// A component consisting only of dots and spaces ("", ".", "..", ". .") or
// one ending in a dot or a space would be trimmed by Windows, possibly into
// "..", so such components are refused.
bool IsSafeComponent(const char* begin, const char* end) {
  if (begin == end) return false;
  const char last = end[-1];
  if (last == '.' || last == ' ') return false;
  for (const char* p = begin; p != end; ++p) {
    if (*p != '.' && *p != ' ') return true;
  }
  return false;
}

// True when [begin, end) spells `word` (upper case) without regard to ASCII
// letter case.
bool SpellsIgnoringCase(const char* begin, const char* end, const char* word) {
  for (; begin != end; ++begin, ++word) {
    if (*word == '\0' || LowerAscii(*begin) != LowerAscii(*word)) return false;
  }
  return *word == '\0';
}

// A port number of COMn and LPTn: 0 to 9, or the Windows-1252 superscripts
// one (0xB9), two (0xB2) and three (0xB3), which Windows also takes.
bool IsPortDigit(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= '0' && byte <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

}  // namespace

bool IsSafeEntryName(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  const char* component = name;
  for (const char* p = name;; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == '\0' || c == '\\') {
      if (!IsSafeComponent(component, p)) return false;
      if (c == '\0') return true;
      component = p + 1;
      continue;
    }
    if (c < 0x20 || c == '/' || c == ':') return false;
  }
}

bool IsDeviceNameComponent(const char* begin, const char* end) {
  // Windows ignores everything from the first dot on, and the spaces before it.
  const char* stop = begin;
  while (stop != end && *stop != '.') ++stop;
  while (stop != begin && stop[-1] == ' ') --stop;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (SpellsIgnoringCase(begin, stop, device)) return true;
  }
  if (stop - begin != 4 || !IsPortDigit(begin[3])) return false;
  return SpellsIgnoringCase(begin, begin + 3, "COM") || SpellsIgnoringCase(begin, begin + 3, "LPT");
}

bool HasDeviceNameComponent(const char* name) {
  if (name == nullptr) return false;
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p != '\0' && *p != '\\') continue;
    if (IsDeviceNameComponent(component, p)) return true;
    if (*p == '\0') return false;
    component = p + 1;
  }
}

}  // namespace sfx
