// The Setup.cfg linter: what the installer makes of a configuration, with
// the place of every finding, and the mistakes that the installer accepts
// without a word but that stop an update from ever applying.
//
// The installer's own parser decides whether the file parses and builds the
// record; its message texts are reported unchanged. The linter reads the
// same characters again (unscrambled as the installer reads them) to find
// lines and columns, and adds warnings and a few errors of its own:
//
//   errors    the parser's message, at the token where it stops; an empty
//             configuration; a missing PRODUCT_NAME (unless MP3_INSTALL
//             skips the product check)
//   warnings  a byte-order mark or other non-printable first byte that
//             makes the installer read a plain file as scrambled; a dotted
//             or short decimal-looking version; text after a number that
//             the installer ignores, or a number that converts nothing;
//             VERSION_LO above VERSION_HI
//
// Lines and columns count from 1 in the file's text (a scrambled file's
// unscrambled text, without its marker byte); columns count bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/setup_config.h"

namespace sfx {

// One finding. `line` and `column` are 0 when it has no place in the text.
struct LintFinding {
  int line = 0;
  int column = 0;
  std::string message;
};

// Everything the linter found in one configuration.
struct ConfigLint {
  bool parsed = false;  // the installer's parser accepts the file
  bool scrambled = false;
  SetupConfig config;  // the parser's record; meaningful when `parsed`
  std::vector<LintFinding> errors;
  std::vector<LintFinding> warnings;
};

// Lints the configuration file whose bytes are `bytes`.
ConfigLint LintSetupConfig(std::string_view bytes);

// The keyword closest to `word` in spelling (letter case ignored), or an
// empty string when none is within two edits.
std::string ClosestKeyword(std::string_view word);

// "4.0.3.0" as a version: one to four decimal parts of 0..65535 (missing
// parts are 0), packed as the installer packs a file version, one byte per
// part from the major down, each part contributing its low 8 bits.
// Returns false for any other text.
bool PackInstalledVersion(std::string_view text, std::uint32_t* packed);

// A packed version as "major.minor.third.fourth".
std::string DottedVersion(std::uint32_t packed);

// What is known of the installed product for a verdict. The product is
// taken to be found (registered, and its folder present).
struct InstalledProduct {
  std::uint32_t version = 0;           // packed
  const char* product_name = nullptr;  // Windows-1252; null: the one Setup.cfg asks for
  bool language_file = true;           // mivorjpn.nls present with version information
};

// Whether the update applies on a machine with `installed`, and why.
// `reason` is one of: "in range", "MP3_INSTALL skips the check",
// "below VERSION_LO", "above VERSION_HI", "product name differs",
// "language file missing", "Setup.cfg does not parse".
struct UpdateVerdict {
  bool applies = false;
  std::string reason;
};

UpdateVerdict DecideForInstalled(const ConfigLint& lint, const InstalledProduct& installed);

}  // namespace sfx
