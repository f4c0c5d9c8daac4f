// The Setup.cfg linter: where each finding lies and how it begins, the
// update verdict and the version packing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_keywords.h"
#include "config/config_lint.h"
#include "config/config_scrambler.h"

namespace sfx {
namespace {

// Findings as "LINE:COL message", cut to the length of the expected text.
std::vector<std::string> Cut(const std::vector<LintFinding>& findings, const std::vector<std::string>& expected) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const LintFinding& f = findings[i];
    const std::string text = std::to_string(f.line) + ":" + std::to_string(f.column) + " " + f.message;
    out.push_back(i < expected.size() ? text.substr(0, expected[i].size()) : text);
  }
  return out;
}

const std::string kName = "PRODUCT_NAME \"Mivor\"\n";

TEST(ConfigLint, FindsEachMistakeAtItsPlace) {
  const struct {
    std::string text;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
  } cases[] = {
      {kName + "VERSION_LO 04000000 VERSION_HI 04FFFFFF", {}, {}},
      {"", {"1:1 empty configuration"}, {}},
      {"# only a comment\n", {"1:1 empty configuration"}, {}},
      {"VERSION_LO 04000000\n", {"1:1 no PRODUCT_NAME"}, {}},
      {"MP3_INSTALL\n", {}, {}},
      {kName + "VERSION_LO 5.0.0.0",
       {},
       {"2:12 VERSION_LO 5.0.0.0 is read as 0x00000005: a number ends at its first "
        "character that is not a hexadecimal digit. Versions are packed "
        "hexadecimal, one byte per part: write 05000000"}},
      {kName + "VERSION_HI 4.1.0.0", {}, {"2:12 VERSION_HI 4.1.0.0 is read as 0x00000004: a number ends"}},
      {kName + "VERSION_LO 4", {}, {"2:12 VERSION_LO 4 is 0x00000004, version 0.0.0.4"}},
      {kName + "VERSION_HI 04FFFFFFzz", {}, {"2:12 VERSION_HI 04FFFFFFzz: the text 'zz' after the number is ignored"}},
      {kName + "VERSION_HI latest",
       {},
       {"2:12 VERSION_HI latest is not a hexadecimal number: VERSION_HI stays 0xFFFFFFFF"}},
      {kName + "SET_REG_DW a zz SET_REG_DW b 1x",
       {},
       {"2:14 SET_REG_DW value 'zz' is not a hexadecimal number: the installer stores 0x0000002A",
        "2:30 SET_REG_DW value '1x': the text 'x'"}},
      {kName + "VERSION_LO 05000000\nVERSION_HI 04FFFFFF", {}, {"3:1 empty range: VERSION_LO 0x05000000 is above"}},
      {"PRODCT_NAME \"Mivor\"",
       {"1:1 A string was not quoted: might be a misspelled keyword. ('PRODCT_NAME' is no "
        "keyword: did you mean PRODUCT_NAME?)"},
       {}},
      {kName + "  verison_lo 4",
       {"2:3 A string was not quoted: might be a misspelled keyword. ('verison_lo' is no "
        "keyword: did you mean VERSION_LO?)"},
       {}},
      {kName + "\n setup.exe",
       {"3:2 A string was not quoted: might be a misspelled keyword. (a file name is written "
        "in quotes: \"setup.exe\")"},
       {}},
      {kName + "WIN95 # flags\n\"a\" WINNT ONLY_IF_EXISTS", {"3:5 file flags without filename"}, {}},
      {kName + "WIN95 NO_REBOOT \"a\"", {"2:7 file flags without filename"}, {}},
      {kName + "VERSION_LO \"04000000\"", {"2:12 A keyword was quoted as if it was a filename. Sorry, no file"}, {}},
      {kName + "\"NO_REBOOT\"", {"2:1 A keyword was quoted"}, {}},
      {kName + "PRODUCT_TITLE Demo", {"2:15 A string was not quoted"}, {}},
      {kName + "SET_REG_STR Path", {"2:1 no 2nd argument for SET_REG_STR"}, {}},
      {"PRODUCT_NAME", {"1:1 no argument for PRODUCT_NAME"}, {}},
      {kName + "\"a\" \"open\nend", {"2:5 unterminated string"}, {}},
      {"\xEF\xBB\xBF" + kName, {"0:0 "}, {"1:1 the file starts with a UTF-8 byte-order mark"}},
      {"\n" + kName, {"0:0 "}, {"1:1 the file starts with the byte 0x0A"}},
  };
  for (const auto& c : cases) {
    const ConfigLint lint = LintSetupConfig(c.text);
    EXPECT_EQ(Cut(lint.errors, c.errors), c.errors) << c.text;
    EXPECT_EQ(Cut(lint.warnings, c.warnings), c.warnings) << c.text;
  }
}

TEST(ConfigLint, PlacesAScrambledFilesFindingsInItsPlainText) {
  const ConfigLint lint = LintSetupConfig(ScrambleConfig(kName + "VERSION_LO 4.1"));
  EXPECT_TRUE(lint.scrambled);
  EXPECT_TRUE(lint.parsed);
  EXPECT_EQ(Cut(lint.warnings, {"2:12 VERSION_LO 4.1"}), std::vector<std::string>{"2:12 VERSION_LO 4.1"});
}

TEST(ConfigLint, VerdictFollowsTheInstallersChecks) {
  const std::string range = "VERSION_LO 04000000 VERSION_HI 04FFFFFF ";
  const struct {
    std::string text;
    std::uint32_t version;
    const char* product;
    bool language_file;
    bool applies;
    const char* reason;
  } cases[] = {
      {range + kName, 0x04000300, nullptr, true, true, "in range"},
      {range + kName, 0x04000000, "Mivor", true, true, "in range"},
      {range + kName, 0x03FFFFFF, nullptr, true, false, "below VERSION_LO"},
      {range + kName, 0x05000000, nullptr, true, false, "above VERSION_HI"},
      {range + kName, 0x04000300, "mivor", true, false, "product name differs"},
      {range + kName + "CHECK_LANGUAGE", 0x04000300, nullptr, false, false, "language file missing"},
      {range + kName, 0x04000300, nullptr, false, true, "in range"},
      {"VERSION_LO 09000000 MP3_INSTALL", 0x04000300, "x", false, true, "MP3_INSTALL skips the check"},
      {"WIN95", 0x04000300, nullptr, true, false, "Setup.cfg does not parse"},
  };
  for (const auto& c : cases) {
    const UpdateVerdict v = DecideForInstalled(LintSetupConfig(c.text), {c.version, c.product, c.language_file});
    EXPECT_EQ(v.applies, c.applies) << c.text;
    EXPECT_EQ(v.reason, c.reason) << c.text;
  }
}

TEST(ConfigLint, PacksVersionsAsTheInstallerDoes) {
  const struct {
    const char* text;
    bool ok;
    std::uint32_t packed;
  } cases[] = {
      {"4.0.3.0", true, 0x04000300},
      {"4.0.259.0", true, 0x04000300},
      {"255.65535.1.2", true, 0xFFFF0102},
      {"4", true, 0x04000000},
      {"4.1", true, 0x04010000},
      {"", false, 0},
      {"4.", false, 0},
      {"4.0.0.0.0", false, 0},
      {"65536", false, 0},
      {"4.x", false, 0},
      {"-1", false, 0},
      {"4..1", false, 0},
  };
  for (const auto& c : cases) {
    std::uint32_t packed = 0;
    EXPECT_EQ(PackInstalledVersion(c.text, &packed), c.ok) << c.text;
    EXPECT_EQ(packed, c.packed) << c.text;
  }
  EXPECT_EQ(DottedVersion(0x04FFFFFF), "4.255.255.255");
  EXPECT_EQ(ClosestKeyword("prodct_title"), "PRODUCT_TITLE");
  EXPECT_EQ(ClosestKeyword("readme"), "");
}

TEST(ConfigLint, SuggestsEveryKeywordForItsFirstTwoLettersSwapped) {
  ForEachKeyword([](const char* keyword) {
    std::string word = keyword;
    std::swap(word[0], word[1]);
    EXPECT_EQ(ClosestKeyword(word), keyword) << word;
  });
}

}  // namespace
}  // namespace sfx
