// Entry name rules. The stub's safety rule (IsSafeEntryName) is the final
// word on what may be extracted; the checks below give a precise reason for
// each refusal and add what Windows itself cannot create: the characters
// < > " | ? * and the device names of IsDeviceNameComponent (CON, NUL,
// COM1, the superscript-digit forms, "nul.txt", ...), which would open a
// device instead of a file; the stub refuses those too.
#include "packer/entry_name.h"

#include <vector>

#include "packer/codepage_1252.h"

namespace sfx {

namespace {

std::vector<std::string_view> SplitComponents(std::string_view name) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = name.find('\\', start);
    if (slash == std::string_view::npos) {
      parts.push_back(name.substr(start));
      return parts;
    }
    parts.push_back(name.substr(start, slash - start));
    start = slash + 1;
  }
}

std::string ComponentProblem(std::string_view component) {
  if (component.empty()) return "has an empty folder component";
  if (component == "." || component == "..") return "has a '.' or '..' component";
  const char last = component.back();
  if (last == '.' || last == ' ') return "has a component ending in a dot or a space";
  if (IsDeviceNameComponent(component.data(), component.data() + component.size()))
    return "has a component that is a Windows device name";
  return {};
}

}  // namespace

std::string EntryNameProblem(std::string_view name) {
  if (name.empty()) return "is empty";
  if (name.size() > kMaxEntryNameLength) {
    return "is longer than " + std::to_string(kMaxEntryNameLength) + " characters";
  }
  if (name.front() == '\\') return "is absolute";
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == 0) return "contains a NUL character";
    if (c < 0x20 || c == 0x7F) return "contains a control character";
    if (c == ':') return "contains a colon (drive letter or stream name)";
    if (c == '/') return "contains a forward slash";
    if (IsCharacterWindowsRefuses(ch)) {
      return std::string("contains the character '") + ch + "', which Windows does not allow in names";
    }
  }
  for (std::string_view component : SplitComponents(name)) {
    std::string problem = ComponentProblem(component);
    if (!problem.empty()) return problem;
  }
  // The stub's own rule; the checks above should already cover it.
  if (!IsSafeEntryName(std::string(name).c_str())) return "is not a safe relative name";
  return {};
}

std::string EntryNameWarning(std::string_view name) {
  if (name.size() <= kLongEntryNameLength) return {};
  const std::string length = "is " + std::to_string(name.size()) + " characters long; ";
  const std::string limit = "Windows' limit of " + std::to_string(kAnsiPathLimit) + " characters";
  // The working folder takes at least its drive, "\" and "Mivor.40\".
  if (name.size() + 12 >= kAnsiPathLimit) {
    return length + "with any temp folder the full path passes " + limit + " and the installer cannot write the file";
  }
  return length + "with a temp folder of more than " + std::to_string(kAnsiPathLimit - name.size()) +
         " characters the full path passes " + limit + " and the installer cannot write the file";
}

// True when `utf8` holds a combining mark (U+0300 to U+036F), as names in
// decomposed form do: macOS writes "é" as "e" and U+0301.
bool HasCombiningMark(std::string_view utf8) {
  for (std::size_t i = 0; i + 1 < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const auto next = static_cast<unsigned char>(utf8[i + 1]);
    if ((lead == 0xCC && next >= 0x80) || (lead == 0xCD && next < 0xB0)) return true;
  }
  return false;
}

bool HostComponentToEntry(std::string_view utf8, std::string* out, std::string* problem) {
  if (utf8.find('\\') != std::string_view::npos) {
    if (problem != nullptr) *problem = "contains a backslash, the folder separator of the installer";
    return false;
  }
  if (HasCombiningMark(utf8)) {
    if (problem != nullptr) {
      *problem =
          "is in decomposed Unicode form (letters followed by combining accents, as macOS stores names); "
          "rename it to the composed form (NFC), for example with: convmv -r -f utf8 -t utf8 --nfc --notest FOLDER";
    }
    return false;
  }
  return Utf8ToCp1252(utf8, out, problem);
}

bool RelativePathToEntryName(std::string_view utf8_path, std::string* out, std::string* problem) {
  std::string converted;
  if (!Utf8ToCp1252(utf8_path, &converted, problem)) return false;
  for (char& c : converted) {
    if (c == '/') c = '\\';
  }
  // "./a" names the same file as "a".
  while (converted.size() > 2 && converted[0] == '.' && converted[1] == '\\') converted.erase(0, 2);
  *out = std::move(converted);
  return true;
}

}  // namespace sfx
