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
  const ToolRun run = Sfxpack({"check-config", File("Setup.cfg", kGoodConfig).string()});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
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
            "{\"version_lo\":67108864,\"version_hi\":67240191,\"product_name\":\"Mivor\",\"flags\":3,"
            "\"check_language\":1,\"product_title\":null,\"no_reboot\":0,\"mp3_install\":0,\"mp3pro_install\":0,"
            "\"mpeg2_install\":0,\"no_regentries\":0,\"entries\":["
            "{\"flags\":1537,\"name\":\"a.dll\",\"subdir\":\"plug ins\"},"
            "{\"flags\":262144,\"name\":\"Path\",\"str_value\":\"C:\\\\Mivor\"},"
            "{\"flags\":131074,\"name\":\"Count\",\"dword_value\":42}]}\n");
}

TEST_F(ConfigCommands, CheckConfigJsonEscapesAndConvertsWindows1252) {
  // e-acute, the euro sign (0x80), an undefined byte (0x81, the C1 control
  // U+0081, escaped), a quote-free backslash, a tab, a line feed and another
  // control byte.
  const std::string config = "PRODUCT_TITLE \"\xE9\x80\x81\\\t\n\x01\" \"x\x7F\"\n";
  const ToolRun run = Sfxpack({"check-config", "--json", File("Setup.cfg", config).string()});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("\"product_title\":\"\xC3\xA9\xE2\x82\xAC\\u0081\\\\\\t\\n\\u0001\""), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("{\"flags\":0,\"name\":\"x\\u007F\"}"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"product_name\":null"), std::string::npos) << run.out;
}

TEST_F(ConfigCommands, CheckConfigFailureWritesExactlyTheParsersMessage) {
  const struct {
    const char* config;
    std::string message;
  } cases[] = {
      {"WIN95", "file flags without filename"},
      {"PRODUCT_NAME", "no argument for PRODUCT_NAME"},
      {"setup.exe", "A string was not quoted: might be a misspelled keyword."},
      {"\"open", "unterminated string"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Sfxpack({"check-config", File("Setup.cfg", c.config).string()});
    EXPECT_EQ(run.exit_code, 1) << c.config;
    EXPECT_EQ(run.err, c.message) << c.config;
    EXPECT_EQ(run.out, "") << c.config;
    const ToolRun json = Sfxpack({"check-config", "--json", File("Setup.cfg", c.config).string()});
    EXPECT_EQ(json.exit_code, 1) << c.config;
    EXPECT_EQ(json.err, c.message) << c.config;
    EXPECT_EQ(json.out, "") << c.config;
  }
}

TEST_F(ConfigCommands, CheckConfigMissingFileAndUsage) {
  const ToolRun missing = Sfxpack({"check-config", (dir_ / "nothing.cfg").string()});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "open config file");
  EXPECT_EQ(Sfxpack({"check-config"}).exit_code, 2);
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
