// sfxpack check-config and scramble-config, run as a vendor runs them: the
// real program with files on disk, checking stdout, stderr and exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/sfxpack_runner.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using sfx::test::ReadText;
using sfx::test::ToolRun;

// A scratch folder per test, removed afterwards.
class ConfigCommands : public sfx::test::SfxpackTest {};

const char kGoodConfig[] =
    "# update for 4.0 to 4.2\n"
    "VERSION_LO 4000000 VERSION_HI 0x40200FF\n"
    "PRODUCT_NAME \"Mivor\" CHECK_LANGUAGE UPDATE_TRESSEL\n"
    "WIN95 PELADORDIR USE_SUBDIR \"plug ins\" \"a.dll\"\n"
    "SET_REG_STR Path \"C:\\Mivor\"\n"
    "WINNT SET_REG_DW Count zz\n";

TEST_F(ConfigCommands, CheckConfigListsEveryFieldAndEntry) {
  const fs::path cfg = File("Setup.cfg", kGoodConfig);
  const ToolRun run = Sfxpack({"check-config", cfg.string()});
  EXPECT_EQ(run.exit_code, 0);
  std::string err = run.err;
  std::erase(err, '\r');
  EXPECT_EQ(err, cfg.string() +
                     ":6:24: warning: SET_REG_DW value 'zz' is not a hexadecimal number: the installer stores "
                     "0x0000002A\n");
  const std::string expected =
      "version_lo      0x04000000\n"
      "version_hi      0x040200FF\n"
      "product_name    \"Mivor\"\n"
      "flags           0x00000003\n"
      "check_language  1\n"
      "product_title   (none)\n"
      "no_reboot       0\n"
      "mp3_install     0\n"
      "mp3pro_install  0\n"
      "mpeg2_install   0\n"
      "no_regentries   0\n"
      "entries         3\n"
      "  [1] file WIN95|PELADORDIR|USE_SUBDIR (0x00000601)\n"
      "      name        \"a.dll\"\n"
      "      subdir      \"plug ins\"\n"
      "  [2] string SET_REG_STR (0x00040000)\n"
      "      name        \"Path\"\n"
      "      str_value   \"C:\\\\Mivor\"\n"
      "  [3] dword WINNT|SET_REG_DW (0x00020002)\n"
      "      name        \"Count\"\n"
      "      dword_value 0x0000002A (42)\n";
  // Windows writes stdout in text mode; compare without carriage returns.
  std::string out = run.out;
  std::erase(out, '\r');
  EXPECT_EQ(out, expected);
}

TEST_F(ConfigCommands, CheckConfigJsonHasOnlyTheFieldsEachEntryFills) {
  const ToolRun run = Sfxpack({"check-config", "--json", File("Setup.cfg", kGoodConfig).string()});
  EXPECT_EQ(run.exit_code, 0);
  std::string out = run.out;
  std::erase(out, '\r');
  EXPECT_EQ(out,
            "{\"ok\":true,\"errors\":[],\"warnings\":[{\"line\":6,\"column\":24,\"message\":\"SET_REG_DW value "
            "'zz' is not a hexadecimal number: the installer stores 0x0000002A\"}],\"config\":"
            "{\"version_lo\":67108864,\"version_hi\":67240191,\"product_name\":\"Mivor\",\"flags\":3,"
            "\"check_language\":1,\"product_title\":null,\"no_reboot\":0,\"mp3_install\":0,\"mp3pro_install\":0,"
            "\"mpeg2_install\":0,\"no_regentries\":0,\"entries\":["
            "{\"flags\":1537,\"name\":\"a.dll\",\"subdir\":\"plug ins\"},"
            "{\"flags\":262144,\"name\":\"Path\",\"str_value\":\"C:\\\\Mivor\"},"
            "{\"flags\":131074,\"name\":\"Count\",\"dword_value\":42}]}}\n");
}

TEST_F(ConfigCommands, CheckConfigJsonEscapesAndConvertsWindows1252) {
  // e-acute, the euro sign (0x80), an undefined byte (0x81, the C1 control
  // U+0081, escaped), a quote-free backslash, a tab, a line feed and another
  // control byte.
  const std::string config = "PRODUCT_TITLE \"\xE9\x80\x81\\\t\n\x01\" \"x\x7F\"\n";
  const ToolRun run = Sfxpack({"check-config", "--json", File("Setup.cfg", config).string()});
  EXPECT_EQ(run.exit_code, 1);  // no PRODUCT_NAME; the record is there all the same
  EXPECT_NE(run.out.find("\"product_title\":\"\xC3\xA9\xE2\x82\xAC\\u0081\\\\\\t\\n\\u0001\""), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("{\"flags\":0,\"name\":\"x\\u007F\"}"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"product_name\":null"), std::string::npos) << run.out;
}

TEST_F(ConfigCommands, CheckConfigPlacesEveryMistakeAndAlwaysWritesJson) {
  // The parser's message unchanged (its line feed on one line), and the
  // mistakes the stub accepts without a word; --strict fails on warnings.
  const struct {
    const char* config;
    int exit_code;
    int strict_exit_code;
    std::string diagnostic;
  } cases[] = {
      {"PRODUCT_NAME", 1, 1, "1:1: error: no argument for PRODUCT_NAME"},
      {"PRODUCT_NAME \"M\"\n  \"open", 1, 1, "2:3: error: unterminated string"},
      {"PRODUCT_NAME \"M\" \"NO_REBOOT\"", 1, 1,
       "1:18: error: A keyword was quoted as if it was a filename. Sorry, no file can have the name of a keyword."},
      {"", 1, 1, "1:1: error: empty configuration"},
      {"VERSION_LO 04000000", 1, 1, "1:1: error: no PRODUCT_NAME"},
      {"PRODUCT_NAME \"M\" VERSION_LO 5.0.0.0", 0, 1, "1:29: warning: VERSION_LO 5.0.0.0 is read as 0x00000005"},
      {"PRODUCT_NAME \"M\"\nVERSION_LO 05000000 VERSION_HI 04FFFFFF", 0, 1, "2:21: warning: empty range"},
  };
  for (const auto& c : cases) {
    const fs::path cfg = File("Setup.cfg", c.config);
    const ToolRun run = Sfxpack({"check-config", cfg.string()});
    EXPECT_EQ(run.exit_code, c.exit_code) << c.config;
    EXPECT_EQ(run.err.rfind(cfg.string() + ":" + c.diagnostic, 0), 0u) << run.err;
    const ToolRun json = Sfxpack({"check-config", "--json", "--strict", cfg.string()});
    EXPECT_EQ(json.exit_code, c.strict_exit_code) << c.config;
    EXPECT_EQ(json.err, "") << c.config;
    EXPECT_EQ(json.out.rfind("{\"ok\":false,\"errors\":[", 0), 0u) << json.out;
  }
  const ToolRun missing = Sfxpack({"check-config", "--json", (dir_ / "nothing.cfg").string()});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.out.rfind("{\"ok\":false,\"errors\":[{\"line\":0,\"column\":0,\"message\":\"cannot open: ", 0), 0u)
      << missing.out;
  EXPECT_EQ(Sfxpack({"check-config"}).exit_code, 2);
  EXPECT_EQ(Sfxpack({"lst"}).err.rfind("sfxpack: unknown command 'lst'", 0), 0u);
}

TEST_F(ConfigCommands, CheckConfigVerdictForAnInstalledVersion) {
  const fs::path cfg =
      File("Setup.cfg", "VERSION_LO 04000000 VERSION_HI 04FFFFFF PRODUCT_NAME \"Mivor\" CHECK_LANGUAGE");
  const struct {
    std::vector<std::string> options;
    std::string json_tail;
  } cases[] = {
      {{"4.0.3.0"}, "\"installed_version\":67109632,\"applies\":true,\"reason\":\"in range\"}"},
      {{"5.0.0.0"}, "\"installed_version\":83886080,\"applies\":false,\"reason\":\"above VERSION_HI\"}"},
      {{"4.1", "--installed-product", "mivor"}, "\"applies\":false,\"reason\":\"product name differs\"}"},
      {{"4.1", "--language-file", "missing"}, "\"applies\":false,\"reason\":\"language file missing\"}"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"check-config", "--json", cfg.string(), "--installed-version"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ToolRun run = Sfxpack(args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find(c.json_tail), std::string::npos) << run.out;
  }
  const ToolRun text = Sfxpack({"check-config", cfg.string(), "--installed-version", "4.0.259.0", "--explain"});
  EXPECT_NE(text.out.find("installed version 4.0.3.0 (packed 0x04000300): the update applies"), std::string::npos);
  EXPECT_NE(text.out.find("App Paths\\mivor.exe"), std::string::npos) << text.out;
  EXPECT_EQ(Sfxpack({"check-config", cfg.string(), "--installed-version", "4.0.x"}).exit_code, 2);
}

TEST_F(ConfigCommands, ScrambledConfigParsesToTheSameRecord) {
  const fs::path plain = File("plain.cfg", kGoodConfig);
  const fs::path scrambled = dir_ / "scrambled.cfg";
  const ToolRun run = Sfxpack({"scramble-config", plain.string(), "-o", scrambled.string()});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string bytes = ReadText(scrambled);
  ASSERT_EQ(bytes.size(), sizeof(kGoodConfig));  // one marker byte more than the text
  const auto first = static_cast<unsigned char>(bytes[0]);
  EXPECT_TRUE(first < 0x20 || first > 0x7E);
  EXPECT_EQ(bytes.find("Mivor"), std::string::npos);
  const ToolRun a = Sfxpack({"check-config", "--json", plain.string()});
  const ToolRun b = Sfxpack({"check-config", "--json", scrambled.string()});
  EXPECT_EQ(b.exit_code, 0) << b.err;
  EXPECT_EQ(b.out, a.out);
}

TEST_F(ConfigCommands, ScrambleConfigTakesAChosenMarker) {
  const fs::path scrambled = dir_ / "s.cfg";
  const ToolRun run =
      Sfxpack({"scramble-config", File("p.cfg", "NO_REBOOT").string(), "-o", scrambled.string(), "--marker", "9"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadText(scrambled)[0], '\t');
  const ToolRun check = Sfxpack({"check-config", "--json", scrambled.string()});
  EXPECT_NE(check.out.find("\"no_reboot\":1"), std::string::npos);
}

TEST_F(ConfigCommands, ScrambleConfigRefusesWhatWouldNotParse) {
  // A printable marker would leave the file plain: a usage error.
  const fs::path out = dir_ / "o.cfg";
  EXPECT_EQ(
      Sfxpack({"scramble-config", File("p.cfg", "NO_REBOOT").string(), "-o", out.string(), "--marker", "65"}).exit_code,
      2);
  EXPECT_FALSE(fs::exists(out));
  // Scrambling twice, or scrambling a broken file, gives nothing the stub could parse.
  const fs::path once = dir_ / "once.cfg";
  ASSERT_EQ(Sfxpack({"scramble-config", File("p2.cfg", kGoodConfig).string(), "-o", once.string()}).exit_code, 0);
  const ToolRun twice = Sfxpack({"scramble-config", once.string(), "-o", out.string()});
  EXPECT_EQ(twice.exit_code, 1);
  EXPECT_FALSE(fs::exists(out));
  const ToolRun broken = Sfxpack({"scramble-config", File("b.cfg", "WIN95").string(), "-o", out.string()});
  EXPECT_EQ(broken.exit_code, 1);
  EXPECT_NE(broken.err.find("file flags without filename"), std::string::npos) << broken.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(Sfxpack({"scramble-config", (dir_ / "none.cfg").string(), "-o", out.string()}).exit_code, 1);
}

}  // namespace
