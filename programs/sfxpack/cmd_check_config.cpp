// sfxpack check-config FILE [--json]: parses a Setup.cfg with the stub's own
// parser and prints the resulting record, so that a vendor sees a
// configuration error that the stub would only write to a standard error
// stream nobody reads (and that would silently stop the update early).
//
// On success the record is printed as text (versions and flags in hex,
// entry flags as keyword names) or, with --json, as one JSON object keyed by
// the record's field names. Texts are Windows-1252 bytes; both outputs show
// them as UTF-8. On failure the parser's message goes unchanged to stderr and
// the exit code is 1.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli_support.h"
#include "config/config_keywords.h"
#include "config/setup_config.h"
#include "packer/codepage_1252.h"
#include "packer/entry_name_text.h"

namespace sfxpack {
namespace {

std::string Hex(std::uint32_t value, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*lX", width, static_cast<unsigned long>(value));
  return buffer;
}

// A Windows-1252 text as a JSON string (in UTF-8), or null.
std::string JsonText(const char* text) { return text == nullptr ? "null" : JsonString(sfx::Cp1252ToUtf8(text)); }

// A text for the human-readable listing: quoted, with quotes and
// backslashes escaped and control characters shown by sfx::PrintableText,
// or "(none)".
std::string ListingText(const char* text) {
  if (text == nullptr) return "(none)";
  std::string quoted;
  for (const char ch : sfx::Cp1252ToUtf8(text)) {
    if (ch == '"' || ch == '\\') quoted.push_back('\\');
    quoted.push_back(ch);
  }
  return "\"" + sfx::PrintableText(quoted) + "\"";
}

// Entry flags as keyword names joined by '|', "none" for 0.
std::string FlagNames(std::uint32_t flags) {
  std::string out;
  auto add = [&](std::uint32_t bit, const char* name) {
    if ((flags & bit) == 0) return;
    if (!out.empty()) out += '|';
    out += name;
    flags &= ~bit;
  };
  for (const sfx::FileFlagKeyword& f : sfx::kFileFlagKeywords) add(f.bit, f.keyword);
  add(sfx::kEntryUseSubdir, "USE_SUBDIR");
  add(sfx::kEntryRegDword, "SET_REG_DW");
  add(sfx::kEntryRegString, "SET_REG_STR");
  if (flags != 0) {  // bits no keyword sets; shown rather than hidden
    if (!out.empty()) out += '|';
    out += "0x" + Hex(flags, 1);
  }
  return out.empty() ? "none" : out;
}

enum class EntryKind { kFile, kRegString, kRegDword };

EntryKind KindOf(const sfx::ConfigEntry& e) {
  if ((e.flags & sfx::kEntryRegString) != 0) return EntryKind::kRegString;
  if ((e.flags & sfx::kEntryRegDword) != 0) return EntryKind::kRegDword;
  return EntryKind::kFile;
}

bool HasSubdir(const sfx::ConfigEntry& e) {
  return KindOf(e) == EntryKind::kFile && (e.flags & sfx::kEntryUseSubdir) != 0;
}

std::string RenderJson(const sfx::SetupConfig& c) {
  std::string out = "{";
  out += "\"version_lo\":" + std::to_string(c.version_lo);
  out += ",\"version_hi\":" + std::to_string(c.version_hi);
  out += ",\"product_name\":" + JsonText(c.product_name);
  out += ",\"flags\":" + std::to_string(c.flags);
  out += ",\"check_language\":" + std::to_string(c.check_language);
  out += ",\"product_title\":" + JsonText(c.product_title);
  out += ",\"no_reboot\":" + std::to_string(c.no_reboot);
  out += ",\"mp3_install\":" + std::to_string(c.mp3_install);
  out += ",\"mp3pro_install\":" + std::to_string(c.mp3pro_install);
  out += ",\"mpeg2_install\":" + std::to_string(c.mpeg2_install);
  out += ",\"no_regentries\":" + std::to_string(c.no_regentries);
  out += ",\"entries\":[";
  for (const sfx::ConfigEntry* e = c.entries; e->name != nullptr; ++e) {
    if (e != c.entries) out += ",";
    out += "{\"flags\":" + std::to_string(e->flags) + ",\"name\":" + JsonText(e->name);
    if (HasSubdir(*e)) out += ",\"subdir\":" + JsonText(e->subdir);
    if (KindOf(*e) == EntryKind::kRegString) out += ",\"str_value\":" + JsonText(e->str_value);
    if (KindOf(*e) == EntryKind::kRegDword) out += ",\"dword_value\":" + std::to_string(e->dword_value);
    out += "}";
  }
  out += "]}\n";
  return out;
}

std::string RenderListing(const sfx::SetupConfig& c) {
  // One "field  value" line with the values aligned in column 17.
  auto line = [](const std::string& field, const std::string& value) {
    return field + std::string(16 - field.size(), ' ') + value + "\n";
  };
  std::string out;
  out += line("version_lo", "0x" + Hex(c.version_lo, 8));
  out += line("version_hi", "0x" + Hex(c.version_hi, 8));
  out += line("product_name", ListingText(c.product_name));
  out += line("flags", "0x" + Hex(c.flags, 8));
  out += line("check_language", std::to_string(c.check_language));
  out += line("product_title", ListingText(c.product_title));
  out += line("no_reboot", std::to_string(c.no_reboot));
  out += line("mp3_install", std::to_string(c.mp3_install));
  out += line("mp3pro_install", std::to_string(c.mp3pro_install));
  out += line("mpeg2_install", std::to_string(c.mpeg2_install));
  out += line("no_regentries", std::to_string(c.no_regentries));
  std::size_t count = 0;
  while (c.entries[count].name != nullptr) ++count;
  out += line("entries", std::to_string(count));
  for (std::size_t i = 0; i < count; ++i) {
    const sfx::ConfigEntry& e = c.entries[i];
    static const char* const kKindNames[] = {"file", "string", "dword"};
    out += "  [" + std::to_string(i + 1) + "] " + kKindNames[static_cast<int>(KindOf(e))] + " " + FlagNames(e.flags) +
           " (0x" + Hex(e.flags, 8) + ")\n";
    out += "      name        " + ListingText(e.name) + "\n";
    if (HasSubdir(e)) out += "      subdir      " + ListingText(e.subdir) + "\n";
    if (KindOf(e) == EntryKind::kRegString) out += "      str_value   " + ListingText(e.str_value) + "\n";
    if (KindOf(e) == EntryKind::kRegDword) {
      out += "      dword_value 0x" + Hex(e.dword_value, 8) + " (" + std::to_string(e.dword_value) + ")\n";
    }
  }
  return out;
}

struct CheckConfigOptions {
  std::string file;
  bool json = false;
};

int RunCheckConfig(const CheckConfigOptions& options) {
  sfx::SetupConfig config;
  // The stub's parser writes its message to stderr exactly as the stub does.
  if (!sfx::ParseSetupConfig(&config, options.file.c_str())) {
    std::fflush(stderr);
    return kExitBadInput;
  }
  const std::string text = options.json ? RenderJson(config) : RenderListing(config);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace

std::function<int()> SetupCheckConfig(CLI::App& app) {
  auto options = std::make_shared<CheckConfigOptions>();
  CLI::App* sub = app.add_subcommand("check-config", "Parse a Setup.cfg as the stub does and print the record");
  sub->add_option("FILE", options->file, "the Setup.cfg to check (plain or scrambled)")->required();
  sub->add_flag("--json", options->json, "print the record as one JSON object");
  return [options] { return RunCheckConfig(*options); };
}

}  // namespace sfxpack
