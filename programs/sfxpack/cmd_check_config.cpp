// sfxpack check-config FILE: lints a Setup.cfg. The stub's own parser
// decides whether it parses; the linter (config/config_lint.h) places the
// parser's message at its line and column and adds what the stub accepts
// silently but that keeps an update from applying. A vendor sees here what
// the stub would only write to a standard error stream nobody reads.
//
// Diagnostics go to stderr in the compiler form FILE:LINE:COL: error: ...;
// the record goes to stdout as text (versions and flags in hex, entry flags
// as keyword names). With --installed-version (and the product name and the
// language file) it says whether the update applies on such a machine and
// why not; --explain says in plain words what the stub looks up. --json
// prints one JSON object instead, always, errors included. Texts are
// Windows-1252 bytes; every output shows them as UTF-8. Exit code 1 on
// errors, and with --strict on warnings too.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli_support.h"
#include "config/config_keywords.h"
#include "config/config_lint.h"
#include "config/product_executable.h"
#include "config/setup_config.h"
#include "packer/sfxpack.h"

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
  out += "]}";
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
  bool strict = false;
  bool explain = false;
  std::string installed_version;
  std::string installed_product;  // UTF-8 as given
  std::string language_file = "present";
};

// The whole file, or an error finding that says why it cannot be read.
std::optional<std::string> ReadConfigFile(const std::string& path, std::string* problem) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *problem = std::string("cannot open: ") + std::strerror(errno);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) {
    *problem = std::string("cannot read: ") + std::strerror(error);
    return std::nullopt;
  }
  return bytes;
}

// A finding in the compiler form; messages may hold Windows-1252 token text.
std::string CompilerForm(const std::string& file, const char* kind, const sfx::LintFinding& f) {
  std::string place = file + ":";
  if (f.line > 0) place += std::to_string(f.line) + ":" + std::to_string(f.column) + ":";
  return place + " " + kind + ": " + sfx::PrintableText(sfx::Cp1252ToUtf8(f.message)) + "\n";
}

std::string JsonFindings(const std::vector<sfx::LintFinding>& findings) {
  std::string out = "[";
  for (const sfx::LintFinding& f : findings) {
    if (out.size() > 1) out += ",";
    out += "{\"line\":" + std::to_string(f.line) + ",\"column\":" + std::to_string(f.column) +
           ",\"message\":" + JsonString(sfx::Cp1252ToUtf8(f.message)) + "}";
  }
  return out + "]";
}

std::string Range(const sfx::SetupConfig& c) {
  return "VERSION_LO 0x" + Hex(c.version_lo, 8) + " (" + sfx::DottedVersion(c.version_lo) + ") to VERSION_HI 0x" +
         Hex(c.version_hi, 8) + " (" + sfx::DottedVersion(c.version_hi) + ")";
}

// The verdict in a sentence, with what it rests on.
std::string VerdictText(const sfx::ConfigLint& lint, const sfx::InstalledProduct& installed,
                        const sfx::UpdateVerdict& verdict) {
  const sfx::SetupConfig& c = lint.config;
  std::string out = "installed version " + sfx::DottedVersion(installed.version) + " (packed 0x" +
                    Hex(installed.version, 8) + "): the update " + (verdict.applies ? "applies" : "does not apply") +
                    ": " + verdict.reason;
  if (verdict.reason == "in range") {
    out += ", " + Range(c);
    if (c.product_name != nullptr) {
      out += installed.product_name == nullptr ? "; the product name is taken to be " : "; product name ";
      out += ListingText(c.product_name);
    }
    if (c.check_language != 0) out += "; language file present";
  } else if (verdict.reason == "below VERSION_LO") {
    out += " 0x" + Hex(c.version_lo, 8);
  } else if (verdict.reason == "above VERSION_HI") {
    out += " 0x" + Hex(c.version_hi, 8);
  } else if (verdict.reason == "product name differs") {
    out += ": Setup.cfg asks for " + ListingText(c.product_name) + ", the product says " +
           ListingText(installed.product_name) + " (letter case counts)";
  } else if (verdict.reason == "language file missing") {
    out += std::string(": CHECK_LANGUAGE needs ") + sfx::kProductLanguageFile +
           " with version information in the product folder";
  }
  if (!verdict.applies) out += ". The installer writes the files up to Setup.exe, starts it and stops";
  return out + "\n";
}

// What the stub looks up on the user's machine for this configuration.
std::string ExplainText(const sfx::ConfigLint& lint) {
  const sfx::SetupConfig& c = lint.config;
  const std::string hklm = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\";
  const std::string program = sfx::kProductExecutable;
  std::string out = "What the installer does with this Setup.cfg on the user's machine:\n";
  out +=
      "- It writes the payload's files into the working folder %TEMP%\\Mivor.40\\ in the payload's order\n"
      "  (sfxpack pack puts Setup.cfg first and Setup.exe second) and reads Setup.cfg as soon as it is written.\n";
  if (!lint.parsed) {
    return out +
           "- This Setup.cfg does not parse: the installer writes it to its standard error stream, which\n"
           "  nobody sees, and on every machine it writes the files up to Setup.exe, starts Setup.exe and stops.\n";
  }
  out +=
      "- It looks for the installed product's folder:\n"
      "  on Windows 95, NT 4 and later, the default value of the registry key\n"
      "    " +
      hklm + "Windows\\CurrentVersion\\App Paths\\" + program +
      "\n"
      "  or, when that is missing, of\n"
      "    " +
      hklm + "Windows NT\\CurrentVersion\\App Paths\\" + program +
      "\n"
      "  which is the full path of " +
      program + "; its folder is the product folder.\n";
  if (c.mp3_install == 1) {
    out +=
        "  With neither key (MP3_INSTALL is set): the default value of\n"
        "    " +
        hklm +
        "Windows\\CurrentVersion\\App Paths\\MivorMediaPlayer.exe\n"
        "  with the player's file name replaced by MivorFiles.\n";
  }
  out +=
      "  On platforms older than that (major version below 4): the value Path in section [Info] of the\n"
      "  profile file Mivor.ini in the Windows folder, used as it stands.\n"
      "  The folder found must exist.\n";
  if (c.mp3_install == 1) {
    out += "- MP3_INSTALL is set: no version, product name or language file is checked; a found folder is enough.\n";
  } else {
    out += "- It reads the file version of " + program +
           " in that folder (the fixed file information of its version\n"
           "  resource, dwFileVersionMS and dwFileVersionLS) and packs its four parts into one byte each, major\n"
           "  first: 4.0.3.0 is 0x04000300. It must lie from " +
           Range(c) +
           ",\n"
           "  both included.\n";
    if (c.product_name != nullptr) {
      out += "- The ProductName of " + program +
             "'s version information (\\StringFileInfo\\040904B0\\ProductName) must be\n"
             "  exactly " +
             ListingText(c.product_name) + ", letter case included.\n";
    } else {
      out += "- No PRODUCT_NAME: any program registered as " + program + " with a version in range qualifies.\n";
    }
    if (c.check_language != 0) {
      out += std::string("- CHECK_LANGUAGE: ") + sfx::kProductLanguageFile +
             " must exist in the product folder and carry version information.\n";
    }
  }
  out +=
      "- If all of this holds, every file of the payload is written and Setup.exe is started.\n"
      "  If anything is missing or does not qualify, the installer stops writing right after Setup.exe,\n"
      "  starts Setup.exe all the same and shows no message (the early stop). Files placed before Setup.cfg\n"
      "  or Setup.exe in the payload are written in either case.\n";
  return out;
}

int RunCheckConfig(const CheckConfigOptions& options) {
  sfx::ConfigLint lint;
  std::string problem;
  const std::optional<std::string> bytes = ReadConfigFile(options.file, &problem);
  if (bytes) {
    lint = sfx::LintSetupConfig(*bytes);
  } else {
    lint.errors.push_back({0, 0, problem});
  }

  std::optional<sfx::UpdateVerdict> verdict;
  sfx::InstalledProduct installed;
  std::string installed_name;
  if (!options.installed_version.empty()) {
    sfx::PackInstalledVersion(options.installed_version, &installed.version);  // checked by the option
    if (!options.installed_product.empty()) {
      std::string ignored;
      sfx::Utf8ToCp1252(options.installed_product, &installed_name, &ignored);  // checked by the option
      installed.product_name = installed_name.c_str();
    }
    installed.language_file = options.language_file == "present";
    verdict = sfx::DecideForInstalled(lint, installed);
  }
  const bool failed = !lint.errors.empty() || (options.strict && !lint.warnings.empty());

  std::string out;
  if (options.json) {
    out = "{\"ok\":" + std::string(failed ? "false" : "true") + ",\"errors\":" + JsonFindings(lint.errors) +
          ",\"warnings\":" + JsonFindings(lint.warnings) +
          ",\"config\":" + (lint.parsed ? RenderJson(lint.config) : "null");
    if (verdict) {
      out += ",\"installed_version\":" + std::to_string(installed.version) +
             ",\"applies\":" + (verdict->applies ? "true" : "false") + ",\"reason\":" + JsonString(verdict->reason);
    }
    out += "}\n";
  } else {
    // Errors and warnings in the order of their places in the file.
    std::vector<std::pair<const sfx::LintFinding*, const char*>> findings;
    for (const auto& f : lint.errors) findings.emplace_back(&f, "error");
    for (const auto& f : lint.warnings) findings.emplace_back(&f, options.strict ? "error" : "warning");
    std::stable_sort(findings.begin(), findings.end(), [](const auto& a, const auto& b) {
      return std::pair(a.first->line, a.first->column) < std::pair(b.first->line, b.first->column);
    });
    std::string diagnostics;
    for (const auto& [finding, kind] : findings) diagnostics += CompilerForm(options.file, kind, *finding);
    std::fputs(diagnostics.c_str(), stderr);
    std::fflush(stderr);
    if (lint.parsed) out = RenderListing(lint.config);
    if (verdict) out += VerdictText(lint, installed, *verdict);
    if (options.explain && bytes) out += ExplainText(lint);
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return failed ? kExitBadInput : kExitOk;
}

}  // namespace

std::function<int()> SetupCheckConfig(CLI::App& app) {
  auto options = std::make_shared<CheckConfigOptions>();
  CLI::App* sub = app.add_subcommand("check-config", "Lint a Setup.cfg as the stub reads it and print the record");
  sub->add_option("FILE", options->file, "the Setup.cfg to check (plain or scrambled)")->required();
  sub->add_flag("--json", options->json, "print one JSON object: ok, errors, warnings, config (and the verdict)");
  sub->add_flag("--strict", options->strict, "count warnings as errors");
  sub->add_flag("--explain", options->explain, "say in plain words what the stub looks up on the user's machine");
  CLI::Option* version = sub->add_option("--installed-version", options->installed_version,
                                         "say whether the update applies to this installed file version (e.g. 4.0.3.0)")
                             ->check([](const std::string& text) {
                               std::uint32_t packed = 0;
                               return sfx::PackInstalledVersion(text, &packed)
                                          ? std::string()
                                          : "a version is 1 to 4 decimal parts of 0..65535: " + text;
                             });
  sub->add_option("--installed-product", options->installed_product,
                  std::string("the installed ") + sfx::kProductExecutable +
                      "'s ProductName (default: the one Setup.cfg asks for)")
      ->needs(version)
      ->check([](const std::string& text) {
        std::string cp1252;
        std::string problem;
        return sfx::Utf8ToCp1252(text, &cp1252, &problem) ? std::string() : problem;
      });
  sub->add_option("--language-file", options->language_file,
                  std::string("whether ") + sfx::kProductLanguageFile +
                      " is installed with version information (default: present)")
      ->needs(version)
      ->check(CLI::IsMember({"present", "missing"}));
  return [options] { return RunCheckConfig(*options); };
}

}  // namespace sfxpack
