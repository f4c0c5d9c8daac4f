// Random input: a seeded stream of keyword-heavy and arbitrary files never
// crashes the parser, and every result is either a well-formed record or one
// of the known messages.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>

#include "config/config_scrambler.h"
#include "config/setup_config.h"
#include "support/temp_config_file.h"

namespace sfx {
namespace {

using test::TempConfigFile;

const char* const kPieces[] = {
    "WIN95",
    "ORLDIR",
    "PELADORDIR",
    "REGDELETE",
    "USE_SUBDIR",
    "SET_REG_STR",
    "SET_REG_DW",
    "VERSION_LO",
    "VERSION_HI",
    "PRODUCT_NAME",
    "PRODUCT_TITLE",
    "NO_REBOOT",
    "UPDATE_TRESSEL",
    "\"",
    "\"\"",
    "#",
    "\n",
    " ",
    "\t",
    "\r",
    "0x",
    "-1",
    "ffffffffff",
    "name",
    "\"file.dll\"",
    "\xE9",
    "" /* stands for a NUL byte */,
};

std::string RandomConfig(std::mt19937& rng) {
  std::string text;
  const int pieces = static_cast<int>(rng() % 40);
  for (int i = 0; i < pieces; ++i) {
    if (rng() % 4 == 0) {
      text.push_back(static_cast<char>(rng() % 256));
    } else {
      const char* piece = kPieces[rng() % std::size(kPieces)];
      text += (piece[0] == '\0') ? std::string(1, '\0') : std::string(piece);
      if (rng() % 2 == 0) text.push_back(' ');
    }
  }
  return text;
}

bool KnownMessage(const std::string& m) {
  static const std::set<std::string> fixed = {
      "mem",
      "unterminated string",
      "file flags without filename",
      "no 2nd argument for SET_REG_STR",
      "no 2nd argument for SET_REG_DW",
      "A keyword was quoted as if it was a filename.\nSorry, no file can have the name of a keyword.",
      "A string was not quoted: might be a misspelled keyword.",
  };
  return fixed.count(m) != 0 || m.rfind("no argument for ", 0) == 0;
}

TEST(ParserRandomInput, NeverCrashesAndAlwaysGivesARecordOrAKnownMessage) {
  std::mt19937 rng(0x5EED);
  int successes = 0;
  int failures = 0;
  for (int i = 0; i < 1500; ++i) {
    std::string text = RandomConfig(rng);
    if (rng() % 3 == 0) text = ScrambleConfig(text, static_cast<std::uint8_t>(0x80 + rng() % 0x80));
    TempConfigFile file(text);
    SetupConfig config;
    std::string message;
    if (ParseSetupConfigQuiet(&config, file.path().c_str(), &message) == 1) {
      ++successes;
      ASSERT_NE(config.entries, nullptr);
      for (const ConfigEntry* e = config.entries; e->name != nullptr; ++e) {
        // Read every text the entry carries, so ASan sees any dangling pointer.
        volatile std::size_t length = std::strlen(e->name);
        if ((e->flags & 0x40000u) != 0) length = length + std::strlen(e->str_value);
        if ((e->flags & 0x60000u) == 0 && (e->flags & 0x400u) != 0) length = length + std::strlen(e->subdir);
        (void)length;
      }
    } else {
      ++failures;
      EXPECT_TRUE(KnownMessage(message)) << message;
      EXPECT_EQ(config.entries, nullptr);
    }
  }
  // Both outcomes must have been exercised for the test to mean anything.
  EXPECT_GT(successes, 20);
  EXPECT_GT(failures, 20);
}

}  // namespace
}  // namespace sfx
