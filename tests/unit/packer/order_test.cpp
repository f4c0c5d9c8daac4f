// Entry order: Setup.cfg and Setup.exe first, the rest by case-folded
// Windows-1252 bytes; order manifests and their errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "packer/entry_order.h"
#include "packer/pack_error.h"

namespace {

std::vector<std::string> Apply(const std::vector<std::string>& names, const std::vector<std::size_t>& order) {
  std::vector<std::string> out;
  for (std::size_t i : order) out.push_back(names.at(i));
  return out;
}

std::vector<std::string> Default(const std::vector<std::string>& names) {
  return Apply(names, sfx::DefaultEntryOrder(names));
}

TEST(DefaultOrder, SetupFilesComeFirstThenNamesIgnoringCase) {
  const std::vector<std::string> names = {"zeta.dll", "Setup.exe", "alpha.txt", "Beta.txt", "setup.CFG", "b\\x.txt"};
  EXPECT_EQ(Default(names),
            (std::vector<std::string>{"setup.CFG", "Setup.exe", "alpha.txt", "Beta.txt", "b\\x.txt", "zeta.dll"}));
}

TEST(DefaultOrder, OnlyTopLevelSetupFilesAreSpecial) {
  const std::vector<std::string> names = {"sub\\Setup.cfg", "sub\\Setup.exe", "Readme", "Setup.exe.bak", "SETUP.EXE"};
  EXPECT_EQ(Default(names),
            (std::vector<std::string>{"SETUP.EXE", "Readme", "Setup.exe.bak", "sub\\Setup.cfg", "sub\\Setup.exe"}));
}

TEST(DefaultOrder, ComparesBytesUnsignedAfterFolding) {
  // 0xE4 (a umlaut) folds to 0xC4 and sorts after every ASCII byte; the
  // dot (0x2E) sorts before the backslash (0x5C), and the underscore (0x5F)
  // after the folded (upper-case) letters.
  const std::vector<std::string> names = {"\xE4.txt", "z.txt", "a\\b", "A.txt", "_x"};
  EXPECT_EQ(Default(names), (std::vector<std::string>{"A.txt", "a\\b", "z.txt", "_x", "\xE4.txt"}));
}

TEST(DefaultOrder, DoesNotDependOnTheInputOrder) {
  std::vector<std::string> names = {"c", "B", "a", "Setup.exe", "d\\e", "Setup.cfg", "D"};
  const std::vector<std::string> expected = Default(names);
  std::sort(names.begin(), names.end());
  do {
    ASSERT_EQ(Default(names), expected);
  } while (std::next_permutation(names.begin(), names.begin() + 4));
  std::reverse(names.begin(), names.end());
  EXPECT_EQ(Default(names), expected);
}

TEST(ManifestOrder, ListedNamesFirstThenTheDefaultRule) {
  const std::vector<std::string> names = {"a.txt", "Setup.exe", "data\\big.bin", "Setup.cfg", "b.txt"};
  const std::vector<std::string> manifest = {"DATA\\big.bin", "b.txt"};
  EXPECT_EQ(Apply(names, sfx::ManifestEntryOrder(names, manifest)),
            (std::vector<std::string>{"data\\big.bin", "b.txt", "Setup.cfg", "Setup.exe", "a.txt"}));
}

TEST(ManifestOrder, CanPlaceTheSetupFilesAnywhere) {
  const std::vector<std::string> names = {"Setup.cfg", "Setup.exe", "x"};
  EXPECT_EQ(Apply(names, sfx::ManifestEntryOrder(names, {"x", "Setup.exe", "Setup.cfg"})),
            (std::vector<std::string>{"x", "Setup.exe", "Setup.cfg"}));
}

TEST(ManifestOrder, RefusesNamesNotInTheFolder) {
  const std::vector<std::string> names = {"a", "b"};
  try {
    sfx::ManifestEntryOrder(names, {"a", "missing.txt"});
    FAIL() << "an unknown name was accepted";
  } catch (const sfx::PackError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.txt"), std::string::npos);
  }
}

TEST(ManifestOrder, RefusesANameListedTwice) {
  const std::vector<std::string> names = {"a", "b"};
  EXPECT_THROW(sfx::ManifestEntryOrder(names, {"a", "A"}), sfx::PackError);
}

TEST(ManifestParsing, ReadsOneNamePerLine) {
  const std::string text =
      "\xEF\xBB\xBF"
      "Setup.cfg\r\n"
      "# a comment\n"
      "\n"
      "docs/Gr\xC3\xBC\xC3\x9F"
      "e.txt\n"
      "./bin\\tool.exe";
  EXPECT_EQ(sfx::ParseOrderManifest(text), (std::vector<std::string>{"Setup.cfg",
                                                                     "docs\\Gr\xFC\xDF"
                                                                     "e.txt",
                                                                     "bin\\tool.exe"}));
}

TEST(ManifestParsing, ReportsTheLineOfANameThatDoesNotConvert) {
  try {
    sfx::ParseOrderManifest("a\nb\n\xE6\x97\xA5\n");
    FAIL() << "an unconvertible name was accepted";
  } catch (const sfx::PackError& e) {
    EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
  }
}

TEST(EarlyStop, SetupCfgAndSetupExeMustComeFirst) {
  const std::vector<std::string> names = {"Setup.cfg", "Setup.exe", "a.txt", "sub\\Setup.exe"};
  struct Case {
    std::vector<std::size_t> order;
    const char* problem;  // part of the refusal; "" when the order is fine
  };
  const Case cases[] = {
      {{0, 1, 2, 3}, ""},
      {{0, 1, 3, 2}, ""},
      {{2, 0, 1, 3}, "puts \"a.txt\" before Setup.exe"},
      {{0, 3, 1, 2}, "puts \"sub\\Setup.exe\" before Setup.exe"},
      {{1, 0, 2, 3}, "Setup.exe before Setup.cfg"},
  };
  for (const Case& c : cases) {
    const std::string problem = sfx::EarlyStopProblem(names, c.order);
    EXPECT_EQ(problem.empty(), std::string(c.problem).empty()) << problem;
    EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
  }
  // Without both files there is no early stop to protect.
  EXPECT_EQ(sfx::EarlyStopProblem({"a.txt", "Setup.exe"}, {0, 1}), "");
}

}  // namespace
