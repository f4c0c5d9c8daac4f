// Parser: statements, entries and the record after a successful parse.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_scrambler.h"
#include "config/setup_config.h"
#include "support/temp_config_file.h"

namespace sfx {
namespace {

using test::TempConfigFile;
using namespace std::string_literals;

// Parses `text` quietly; fails the test with the message when it does not parse.
SetupConfig ParseOk(const std::string& text) {
  TempConfigFile file(text);
  SetupConfig config;
  std::string message;
  EXPECT_EQ(ParseSetupConfigQuiet(&config, file.path().c_str(), &message), 1) << message;
  EXPECT_NE(config.entries, nullptr);
  return config;
}

std::vector<ConfigEntry> Entries(const SetupConfig& config) {
  std::vector<ConfigEntry> out;
  if (config.entries == nullptr) return out;
  for (const ConfigEntry* e = config.entries; e->name != nullptr; ++e) out.push_back(*e);
  return out;
}

// A parsed record together with a copy of its entries; the record is kept
// because the entries' texts live only as long as it does.
struct ParsedEntries {
  SetupConfig config;
  std::vector<ConfigEntry> list;
  std::size_t size() const { return list.size(); }
  const ConfigEntry& operator[](std::size_t i) const { return list[i]; }
};

ParsedEntries EntriesOf(const std::string& text) {
  ParsedEntries parsed{ParseOk(text), {}};
  parsed.list = Entries(parsed.config);
  return parsed;
}

void ExpectDefaults(const SetupConfig& c) {
  EXPECT_EQ(c.version_lo, 0u);
  EXPECT_EQ(c.version_hi, 0xFFFFFFFFu);
  EXPECT_EQ(c.product_name, nullptr);
  EXPECT_EQ(c.flags, 1u);
  EXPECT_EQ(c.check_language, 0u);
  EXPECT_EQ(c.product_title, nullptr);
  EXPECT_EQ(c.no_reboot, 0u);
  EXPECT_EQ(c.mp3_install, 0u);
  EXPECT_EQ(c.mp3pro_install, 0u);
  EXPECT_EQ(c.mpeg2_install, 0u);
  EXPECT_EQ(c.no_regentries, 0u);
}

TEST(ParserRecord, EmptyOrCommentOnlyFileGivesDefaultsAndNoEntries) {
  for (const char* text : {"", "  \r\n\t", "# nothing\n#at all"}) {
    const SetupConfig c = ParseOk(text);
    ExpectDefaults(c);
    ASSERT_NE(c.entries, nullptr);
    EXPECT_EQ(c.entries[0].name, nullptr);
  }
}

TEST(ParserRecord, EverySwitchSetsItsOwnField) {
  const SetupConfig c =
      ParseOk("UPDATE_TRESSEL CHECK_LANGUAGE NO_REBOOT MP3_INSTALL MP3PRO_INSTALL MPEG2_INSTALL NO_REGENTRIES");
  EXPECT_EQ(c.flags, 0x3u);
  EXPECT_EQ(c.check_language, 1u);
  EXPECT_EQ(c.no_reboot, 1u);
  EXPECT_EQ(c.mp3_install, 1u);
  EXPECT_EQ(c.mp3pro_install, 1u);
  EXPECT_EQ(c.mpeg2_install, 1u);
  EXPECT_EQ(c.no_regentries, 1u);
}

TEST(ParserRecord, SwitchesAreIndependent) {
  const SetupConfig c = ParseOk("mp3_install");
  EXPECT_EQ(c.mp3_install, 1u);
  EXPECT_EQ(c.mp3pro_install, 0u);
  EXPECT_EQ(c.mpeg2_install, 0u);
  EXPECT_EQ(c.flags, 1u);
}

TEST(ParserRecord, VersionsAndTexts) {
  const SetupConfig c = ParseOk(
      "VERSION_LO 0x04000000\nversion_hi 40200ff\nPRODUCT_NAME \"Mivor Player\"\n"
      "\"PRODUCT_TITLE\" \"Mivor 4.0\"");
  EXPECT_EQ(c.version_lo, 0x04000000u);
  EXPECT_EQ(c.version_hi, 0x040200FFu);
  ASSERT_NE(c.product_name, nullptr);
  EXPECT_STREQ(c.product_name, "Mivor Player");
  ASSERT_NE(c.product_title, nullptr);
  EXPECT_STREQ(c.product_title, "Mivor 4.0");
}

TEST(ParserRecord, LaterTextsReplaceEarlierOnes) {
  const SetupConfig c = ParseOk("PRODUCT_NAME \"one\" PRODUCT_NAME \"two\" VERSION_LO 1 VERSION_LO 2");
  EXPECT_STREQ(c.product_name, "two");
  EXPECT_EQ(c.version_lo, 2u);
}

TEST(ParserRecord, EmptyQuotedTextIsEmptyNotNull) {
  const SetupConfig c = ParseOk("PRODUCT_NAME \"\"");
  ASSERT_NE(c.product_name, nullptr);
  EXPECT_STREQ(c.product_name, "");
}

TEST(ParserRecord, TextEndsAtAnEmbeddedNul) {
  const SetupConfig c = ParseOk("PRODUCT_NAME \"Mi\0vor\""s);
  EXPECT_STREQ(c.product_name, "Mi");
}

TEST(ParserRecord, NumberWithoutDigitsKeepsTheEarlierValue) {
  EXPECT_EQ(ParseOk("VERSION_HI zz").version_hi, 0xFFFFFFFFu);
  EXPECT_EQ(ParseOk("VERSION_LO 5 VERSION_LO -").version_lo, 5u);
  EXPECT_EQ(ParseOk("VERSION_HI 0x1F").version_hi, 0x1Fu);
}

TEST(ParserRecord, AKeywordInAnArgumentsPlaceIsTheArgument) {
  const SetupConfig c = ParseOk("PRODUCT_NAME \"WIN95\"");
  EXPECT_STREQ(c.product_name, "WIN95");
}

TEST(ParserEntries, FlagsGoIntoTheNextFileEntryOnly) {
  const SetupConfig c = ParseOk("WIN95 WINNT \"a.dll\" \"b.dll\"");
  const auto e = Entries(c);
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].flags, 0x3u);
  EXPECT_STREQ(e[0].name, "a.dll");
  EXPECT_EQ(e[1].flags, 0u);
  EXPECT_STREQ(e[1].name, "b.dll");
}

TEST(ParserEntries, EveryFileFlagKeywordHasItsBit) {
  const std::pair<const char*, std::uint32_t> flags[] = {
      {"WIN95", 0x1},
      {"WINNT", 0x2},
      {"WIN31", 0x4},
      {"WIN2000", 0x8},
      {"DRIVERDIR", 0x10},
      {"WINDOWSDIR", 0x20},
      {"SYSTEMDIR", 0x40},
      {"COVERDIR", 0x80},
      {"PELADORDIR", 0x200},
      {"ORLDIR", 0x100},
      {"ONLY_IF_EXISTS", 0x1000},
      {"ONLY_IF_AVAILABLE", 0x2000},
      {"RENAME_OLD", 0x4000},
      {"DELETE", 0x8000},
      {"REGDELETE", 0x10000},
  };
  std::string text;
  for (const auto& [keyword, bit] : flags) text += std::string(keyword) + " \"f\"\n";
  const auto e = EntriesOf(text);
  ASSERT_EQ(e.size(), std::size(flags));
  for (std::size_t i = 0; i < e.size(); ++i) EXPECT_EQ(e[i].flags, flags[i].second) << flags[i].first;
}

TEST(ParserEntries, UseSubdirGoesWithTheNextFileOnly) {
  const auto e = EntriesOf("USE_SUBDIR \"plugins\" SYSTEMDIR \"a.dll\" \"b.dll\"");
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].flags, 0x440u);
  ASSERT_NE(e[0].subdir, nullptr);
  EXPECT_STREQ(e[0].subdir, "plugins");
  EXPECT_EQ(e[1].flags, 0u);
  EXPECT_EQ(e[1].subdir, nullptr);
}

TEST(ParserEntries, RegistryEntriesTakePendingFlagsButNotTheSubdir) {
  const auto e = EntriesOf(
      "USE_SUBDIR \"sub\" WINNT SET_REG_STR Path \"C:\\x\"\n"
      "REGDELETE SET_REG_DW \"Count\" 10\n"
      "\"after\"\n"
      "USE_SUBDIR \"sub2\" \"last\"");
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0].flags, 0x400u | 0x2u | 0x40000u);
  EXPECT_STREQ(e[0].name, "Path");
  EXPECT_STREQ(e[0].str_value, "C:\\x");
  EXPECT_EQ(e[0].subdir, nullptr);
  EXPECT_EQ(e[1].flags, 0x10000u | 0x20000u);
  EXPECT_STREQ(e[1].name, "Count");
  EXPECT_EQ(e[1].dword_value, 0x10u);
  // The sub-folder stayed pending but the 0x400 bit went with the registry entry.
  EXPECT_EQ(e[2].flags, 0u);
  EXPECT_EQ(e[2].subdir, nullptr);
  EXPECT_EQ(e[3].flags, 0x400u);
  EXPECT_STREQ(e[3].subdir, "sub2");
}

TEST(ParserEntries, DwordDefaultIs42ForTheFirstAndZeroForLaterOnes) {
  const auto e = EntriesOf("SET_REG_DW a zz SET_REG_DW b zz SET_REG_DW c 7 SET_REG_DW d zz");
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0].dword_value, 42u);
  EXPECT_EQ(e[1].dword_value, 0u);
  EXPECT_EQ(e[2].dword_value, 7u);
  EXPECT_EQ(e[3].dword_value, 0u);
}

TEST(ParserEntries, FirstDwordConvertedGivesItsValueAndLaterDefaultIsZero) {
  const auto e = EntriesOf("SET_REG_DW a -1 SET_REG_DW b x");
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].dword_value, 0xFFFFFFFFu);
  EXPECT_EQ(e[1].dword_value, 0u);
}

TEST(ParserEntries, KeywordsMatchInAnyCase) {
  const auto e = EntriesOf("win95 WinNt use_subdir \"s\" \"f\" Set_Reg_Str n \"v\"");
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].flags, 0x403u);
  EXPECT_EQ(e[1].flags, 0x40000u);
}

TEST(ParserEntries, WordWithQuotedTailIsAFileName) {
  const auto e = EntriesOf("my\" file.txt\"");
  ASSERT_EQ(e.size(), 1u);
  EXPECT_STREQ(e[0].name, "my file.txt");
}

TEST(ParserFiles, ScrambledFileParsesToTheSameRecord) {
  const std::string plain =
      "# comment\nVERSION_LO 4000000 VERSION_HI 40200FF PRODUCT_NAME \"Mivor\" CHECK_LANGUAGE\n"
      "WIN95 USE_SUBDIR \"s\" \"a.dll\" SET_REG_STR k \"v\" SET_REG_DW d 3\n";
  const SetupConfig a = ParseOk(plain);
  for (const int marker : {0x09, 0x0A, 0xEF, 0x80}) {
    const SetupConfig b = ParseOk(ScrambleConfig(plain, static_cast<std::uint8_t>(marker)));
    EXPECT_EQ(b.version_lo, a.version_lo);
    EXPECT_EQ(b.version_hi, a.version_hi);
    EXPECT_STREQ(b.product_name, a.product_name);
    EXPECT_EQ(b.check_language, a.check_language);
    const auto ea = Entries(a);
    const auto eb = Entries(b);
    ASSERT_EQ(ea.size(), 3u);
    ASSERT_EQ(eb.size(), ea.size());
    for (std::size_t i = 0; i < ea.size(); ++i) {
      EXPECT_EQ(eb[i].flags, ea[i].flags);
      EXPECT_STREQ(eb[i].name, ea[i].name);
    }
    EXPECT_STREQ(eb[0].subdir, "s");
    EXPECT_STREQ(eb[1].str_value, "v");
    EXPECT_EQ(eb[2].dword_value, 3u);
  }
}

TEST(ParserFiles, BytesInMemoryParseLikeTheFile) {
  // The stub parses the Setup.cfg entry's bytes, plain or scrambled, and a
  // parse error still ends the parse.
  const std::string plain = "VERSION_LO 4000000 PRODUCT_NAME \"Mivor\" WIN95 \"a.dll\"\n";
  for (const std::string& text : {plain, ScrambleConfig(plain)}) {
    SetupConfig config;
    ASSERT_TRUE(ParseSetupConfigBytes(&config, reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    EXPECT_EQ(config.version_lo, 0x4000000u);
    EXPECT_STREQ(config.product_name, "Mivor");
    const auto entries = Entries(config);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_STREQ(entries[0].name, "a.dll");
  }
  // Only `size` bytes are read: the cut leaves a quoted text unterminated.
  SetupConfig cut;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ParseSetupConfigBytes(&cut, reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size() - 4));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "unterminated string");
}

TEST(ParserFiles, EachParseStartsWithAFreshReader) {
  // A scrambled file, then a plain one: a reader that kept its state would
  // descramble the second file and fail.
  const SetupConfig first = ParseOk(ScrambleConfig("NO_REBOOT", 0x01));
  EXPECT_EQ(first.no_reboot, 1u);
  const SetupConfig second = ParseOk("MP3_INSTALL");
  EXPECT_EQ(second.mp3_install, 1u);
  EXPECT_EQ(second.no_reboot, 0u);
}

TEST(ParserFiles, TextsOutliveTheFileAndSurviveCopies) {
  SetupConfig copy;
  {
    const SetupConfig c = ParseOk("PRODUCT_NAME \"kept\" \"entry\"");
    copy = c;
  }
  EXPECT_STREQ(copy.product_name, "kept");
  EXPECT_STREQ(copy.entries[0].name, "entry");
}

TEST(ParserFiles, ReparsingARecordKeepsEarlierPointersValid) {
  TempConfigFile one("PRODUCT_NAME \"first\" \"a\"");
  TempConfigFile two("PRODUCT_NAME \"second\" \"b\" \"c\"");
  SetupConfig c;
  std::string message;
  ASSERT_EQ(ParseSetupConfigQuiet(&c, one.path().c_str(), &message), 1);
  const char* old_name = c.product_name;
  const ConfigEntry* old_entries = c.entries;
  ASSERT_EQ(ParseSetupConfigQuiet(&c, two.path().c_str(), &message), 1);
  EXPECT_STREQ(old_name, "first");
  EXPECT_STREQ(old_entries[0].name, "a");
  EXPECT_STREQ(c.product_name, "second");
  EXPECT_EQ(Entries(c).size(), 2u);
}

}  // namespace
}  // namespace sfx
