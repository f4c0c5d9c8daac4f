// Parser failures: every message with its exact bytes on stderr, the order of
// the checks within a step, and the record's state afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/setup_config.h"
#include "support/temp_config_file.h"

namespace sfx {
namespace {

using test::TempConfigFile;

const char kKeywordQuoted[] =
    "A keyword was quoted as if it was a filename.\nSorry, no file can have the name of a keyword.";
const char kNotQuoted[] = "A string was not quoted: might be a misspelled keyword.";
const char kFlagsWithoutName[] = "file flags without filename";

// The outcome of one ParseSetupConfig call: result, stderr bytes, record.
struct Failure {
  int result;
  std::string stderr_text;
  SetupConfig config;
};

Failure ParseCapturing(const std::string& text) {
  TempConfigFile file(text);
  Failure f{};
  ::testing::internal::CaptureStderr();
  f.result = ParseSetupConfig(&f.config, file.path().c_str());
  f.stderr_text = ::testing::internal::GetCapturedStderr();
  return f;
}

// Expects the parse of `text` to fail with exactly `message` on stderr.
SetupConfig ExpectFailure(const std::string& text, const std::string& message) {
  Failure f = ParseCapturing(text);
  EXPECT_EQ(f.result, 0) << text;
  EXPECT_EQ(f.stderr_text, message) << text;
  EXPECT_EQ(f.config.entries, nullptr) << text;
  return f.config;
}

TEST(ParserMessages, MissingFirstArguments) {
  for (const char* keyword :
       {"VERSION_LO", "VERSION_HI", "PRODUCT_NAME", "PRODUCT_TITLE", "USE_SUBDIR", "SET_REG_STR", "SET_REG_DW"}) {
    ExpectFailure(std::string("NO_REBOOT ") + keyword + "  # trailing comment",
                  std::string("no argument for ") + keyword);
  }
}

TEST(ParserMessages, MissingSecondArguments) {
  ExpectFailure("SET_REG_STR name", "no 2nd argument for SET_REG_STR");
  ExpectFailure("SET_REG_DW \"name\"", "no 2nd argument for SET_REG_DW");
}

TEST(ParserMessages, UnterminatedString) {
  ExpectFailure("PRODUCT_NAME \"Mivor", "unterminated string");
  ExpectFailure("\"a.dll\" \"b.dll", "unterminated string");
}

TEST(ParserMessages, FileFlagsWithoutFilename) {
  ExpectFailure("WIN95", kFlagsWithoutName);
  ExpectFailure("USE_SUBDIR \"sub\"", kFlagsWithoutName);
  ExpectFailure("\"a\" DELETE # nothing follows\n", kFlagsWithoutName);
  for (const char* statement :
       {"UPDATE_TRESSEL", "CHECK_LANGUAGE", "NO_REBOOT", "MP3_INSTALL", "MP3PRO_INSTALL", "MPEG2_INSTALL",
        "NO_REGENTRIES", "VERSION_LO 1", "VERSION_HI 1", "PRODUCT_NAME \"p\"", "PRODUCT_TITLE \"t\""}) {
    ExpectFailure(std::string("WIN95 ") + statement + " \"f\"", kFlagsWithoutName);
  }
}

TEST(ParserMessages, QuotedKeywords) {
  ExpectFailure("\"WIN95\" \"f\"", kKeywordQuoted);
  ExpectFailure("\"no_reboot\"", kKeywordQuoted);
  ExpectFailure("VERSION_LO \"10\"", kKeywordQuoted);
  ExpectFailure("VERSION_HI \"10\"", kKeywordQuoted);
  ExpectFailure("SET_REG_DW n \"10\"", kKeywordQuoted);
}

TEST(ParserMessages, UnquotedStrings) {
  ExpectFailure("setup.exe", kNotQuoted);
  ExpectFailure("PRODUCT_NAME Mivor", kNotQuoted);
  ExpectFailure("PRODUCT_TITLE Mivor", kNotQuoted);
  ExpectFailure("USE_SUBDIR sub \"f\"", kNotQuoted);
  ExpectFailure("SET_REG_STR n v", kNotQuoted);
  // A misspelled keyword is an unquoted file name.
  ExpectFailure("WIN96 \"f\"", kNotQuoted);
  ExpectFailure("WIN95X \"f\"", kNotQuoted);
}

TEST(ParserMessages, OpenFailureLeavesDefaults) {
  const std::string missing = (std::filesystem::temp_directory_path() / "h3-no-such-dir" / "Setup.cfg").string();
  SetupConfig c;
  c.version_lo = 7;
  c.mp3_install = 1;
  c.product_name = "stale";
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ParseSetupConfig(&c, missing.c_str()), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "open config file");
  EXPECT_EQ(c.version_lo, 0u);
  EXPECT_EQ(c.version_hi, 0xFFFFFFFFu);
  EXPECT_EQ(c.product_name, nullptr);
  EXPECT_EQ(c.mp3_install, 0u);
  EXPECT_EQ(c.flags, 1u);
  EXPECT_EQ(c.entries, nullptr);
}

TEST(ParserMessages, SuccessWritesNothing) {
  Failure f = ParseCapturing("NO_REBOOT \"a\"");
  EXPECT_EQ(f.result, 1);
  EXPECT_EQ(f.stderr_text, "");
}

TEST(ParserMessages, QuietVariantHandsTheMessageBackAndWritesNothing) {
  TempConfigFile file("PRODUCT_NAME Mivor");
  SetupConfig c;
  std::string message;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ParseSetupConfigQuiet(&c, file.path().c_str(), &message), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(message, kNotQuoted);
  EXPECT_STREQ(c.product_name, "Mivor");
}

TEST(ParserCheckOrder, MissingArgumentComesBeforePendingFlags) {
  ExpectFailure("WIN95 VERSION_LO", "no argument for VERSION_LO");
  ExpectFailure("WIN95 PRODUCT_NAME", "no argument for PRODUCT_NAME");
}

TEST(ParserCheckOrder, PendingFlagsComeBeforeQuoting) {
  ExpectFailure("WIN95 \"NO_REBOOT\"", kFlagsWithoutName);
  ExpectFailure("WIN95 PRODUCT_NAME unquoted", kFlagsWithoutName);
  ExpectFailure("WIN95 VERSION_HI \"1\"", kFlagsWithoutName);
}

TEST(ParserCheckOrder, RegistryAndSubdirStepsDoNotCheckPendingFlags) {
  // Flags stay pending through USE_SUBDIR, so the quoting error is what shows.
  ExpectFailure("WIN95 USE_SUBDIR sub", kNotQuoted);
  ExpectFailure("WIN95 SET_REG_DW n \"1\"", kKeywordQuoted);
}

TEST(ParserCheckOrder, QuotedKeywordWithArgumentsIsAccepted) {
  Failure f = ParseCapturing("\"PRODUCT_NAME\" \"p\" \"SET_REG_DW\" n 1");
  EXPECT_EQ(f.result, 1);
  EXPECT_STREQ(f.config.product_name, "p");
}

TEST(ParserFailureState, FieldsSetBeforeTheErrorStay) {
  const SetupConfig c = ExpectFailure(
      "VERSION_LO 10 PRODUCT_TITLE \"t\" MP3_INSTALL UPDATE_TRESSEL \"a\" WIN95 NO_REBOOT \"b\"", kFlagsWithoutName);
  EXPECT_EQ(c.version_lo, 0x10u);
  EXPECT_STREQ(c.product_title, "t");
  EXPECT_EQ(c.mp3_install, 1u);
  EXPECT_EQ(c.flags, 3u);
  EXPECT_EQ(c.no_reboot, 1u);  // the failing statement's own field is set
  EXPECT_EQ(c.version_hi, 0xFFFFFFFFu);
  EXPECT_EQ(c.product_name, nullptr);
  EXPECT_EQ(c.check_language, 0u);
}

TEST(ParserFailureState, FailingStatementsFieldIsSet) {
  EXPECT_STREQ(ExpectFailure("PRODUCT_NAME Mivor", kNotQuoted).product_name, "Mivor");
  EXPECT_EQ(ExpectFailure("VERSION_HI \"0x20\"", kKeywordQuoted).version_hi, 0x20u);
  EXPECT_EQ(ExpectFailure("VERSION_LO \"20\"", kKeywordQuoted).version_lo, 0x20u);
}

TEST(ParserFailureState, LaterErrorDropsCollectedEntriesAndKeepsPreviousEntries) {
  TempConfigFile good("\"old.dll\"");
  TempConfigFile bad("PRODUCT_NAME \"new\" \"a\" \"b\" SET_REG_STR x y");
  SetupConfig c;
  std::string message;
  ASSERT_EQ(ParseSetupConfigQuiet(&c, good.path().c_str(), &message), 1);
  const ConfigEntry* previous = c.entries;
  EXPECT_EQ(ParseSetupConfigQuiet(&c, bad.path().c_str(), &message), 0);
  EXPECT_EQ(message, kNotQuoted);
  EXPECT_EQ(c.entries, previous);
  EXPECT_STREQ(c.entries[0].name, "old.dll");
  EXPECT_EQ(c.entries[1].name, nullptr);
  EXPECT_STREQ(c.product_name, "new");
}

TEST(ParserFailureState, FreshRecordKeepsNullEntries) {
  EXPECT_EQ(ExpectFailure("\"a\" \"b\" bare", kNotQuoted).entries, nullptr);
}

}  // namespace
}  // namespace sfx
