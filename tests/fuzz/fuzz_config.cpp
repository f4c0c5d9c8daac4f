// Fuzz target: the Setup.cfg reader, tokenizer and parser, through the same
// entry as the installer (a file on disk, opened by path).
//
// Input layout: when byte 0 lies outside 0x20..0x7E (a scramble marker), the
// rest is plain text that is scrambled with that marker before it is
// written, so that mutations act on the text and the dictionary's keywords
// stay readable; otherwise the input is written as it is. Scrambling is a
// one-to-one map, so every scrambled file can still be reached.
// Properties: no fault in the parser; a success gives an entry array ended
// by a null name with readable texts, a failure gives a message. The linter
// agrees with the parser and places its message in the text (unless the
// text is a plain file that the installer reads as scrambled).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "config/config_lint.h"
#include "config/config_scrambler.h"
#include "config/setup_config.h"
#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

// One scratch file per process, removed when the process ends normally.
struct ScratchFile {
  ScratchFile() {
    std::random_device random;
    path = (fs::temp_directory_path() / ("sfx-fuzz-config-" + std::to_string(random()) + ".cfg")).string();
  }
  ~ScratchFile() {
    std::error_code error;
    fs::remove(path, error);
  }
  std::string path;
};

void TouchText(const char* text) {
  if (text != nullptr) sfx::fuzz::Require(std::strlen(text) < (1u << 30), "text is NUL-terminated");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchFile scratch;
  std::string content(reinterpret_cast<const char*>(data), size);
  if (size >= 1 && sfx::IsScrambleMarker(data[0])) content = sfx::ScrambleConfig(content.substr(1), data[0]);
  std::FILE* file = std::fopen(scratch.path.c_str(), "wb");
  sfx::fuzz::Require(file != nullptr, "scratch file can be written");
  sfx::fuzz::Require(std::fwrite(content.data(), 1, content.size(), file) == content.size(), "scratch file written");
  std::fclose(file);

  sfx::SetupConfig config;
  std::string message;
  const bool parsed = sfx::ParseSetupConfigQuiet(&config, scratch.path.c_str(), &message);
  const sfx::ConfigLint lint = sfx::LintSetupConfig(content);
  sfx::fuzz::Require(lint.parsed == parsed, "the linter's parse agrees with the parser");
  if (!parsed) {
    std::string one_line = message;
    for (char& c : one_line) c = c == '\n' ? ' ' : c;
    sfx::fuzz::Require(!lint.errors.empty() && lint.errors[0].message.rfind(one_line, 0) == 0,
                       "the linter reports the parser's message");
    sfx::fuzz::Require(lint.errors[0].line > 0 || !lint.warnings.empty(), "the linter places the message");
  }
  if (parsed) {
    sfx::fuzz::Require(config.entries != nullptr, "a successful parse stores the entry array");
    TouchText(config.product_name);
    TouchText(config.product_title);
    // Every entry takes at least one byte of the file, so a sound array has
    // fewer than size + 1 entries before its terminator.
    std::size_t count = 0;
    for (const sfx::ConfigEntry* entry = config.entries; entry->name != nullptr; ++entry) {
      sfx::fuzz::Require(++count <= size, "entry array ends in a null name");
      TouchText(entry->name);
      if ((entry->flags & 0x400) != 0) TouchText(entry->subdir);
      if ((entry->flags & 0x40000) != 0) TouchText(entry->str_value);
    }
  } else {
    sfx::fuzz::Require(!message.empty(), "a failed parse gives a message");
  }
  return 0;
}
