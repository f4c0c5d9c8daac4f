// Entry names: UTF-8 <-> Windows-1252, case folding, the name rules (each
// refusal), clashes between names, and their printable form.
#include <gtest/gtest.h>

#include <string>

#include "packer/codepage_1252.h"
#include "packer/entry_name.h"
#include "packer/entry_name_set.h"
#include "packer/entry_name_text.h"

namespace {

std::string ToCp1252(const char* utf8) {
  std::string out;
  std::string problem;
  EXPECT_TRUE(sfx::Utf8ToCp1252(utf8, &out, &problem)) << problem;
  return out;
}

TEST(Codepage1252, ConvertsLatinLettersBothWays) {
  EXPECT_EQ(ToCp1252("Gr\xC3\xBC\xC3\x9F"
                     "e.txt"),
            "Gr\xFC\xDF"
            "e.txt");
  EXPECT_EQ(sfx::Cp1252ToUtf8("Gr\xFC\xDF"
                              "e.txt"),
            "Gr\xC3\xBC\xC3\x9F"
            "e.txt");
}

TEST(Codepage1252, ConvertsTheTypographicRange) {
  // euro sign, S caron, y diaeresis (U+0178), en dash
  EXPECT_EQ(ToCp1252("\xE2\x82\xAC\xC5\xA0\xC5\xB8\xE2\x80\x93"), "\x80\x8A\x9F\x96");
  EXPECT_EQ(sfx::Cp1252ToUtf8("\x80\x8A\x9F\x96"), "\xE2\x82\xAC\xC5\xA0\xC5\xB8\xE2\x80\x93");
}

TEST(Codepage1252, EveryByteRoundTripsThroughUtf8ExceptTheFiveHoles) {
  for (int b = 1; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    std::string back;
    const bool hole = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
    EXPECT_EQ(sfx::Utf8ToCp1252(sfx::Cp1252ToUtf8(one), &back, nullptr), !hole) << b;
    if (!hole) {
      EXPECT_EQ(back, one) << b;
    }
  }
}

TEST(Codepage1252, RefusesCharactersOutsideTheCodePage) {
  std::string out = "unchanged";
  std::string problem;
  EXPECT_FALSE(sfx::Utf8ToCp1252("\xE6\x97\xA5\xE6\x9C\xAC.txt", &out, &problem));  // CJK
  EXPECT_NE(problem.find("U+65E5"), std::string::npos) << problem;
  EXPECT_EQ(out, "unchanged");
  EXPECT_FALSE(sfx::Utf8ToCp1252("\xF0\x9F\x98\x80", &out, nullptr));  // emoji
  EXPECT_FALSE(sfx::Utf8ToCp1252("\xC2\x81", &out, nullptr));          // a C1 control
}

TEST(Codepage1252, RefusesMalformedUtf8) {
  std::string out;
  for (const char* bad : {"\x80", "a\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"}) {
    std::string problem;
    EXPECT_FALSE(sfx::Utf8ToCp1252(bad, &out, &problem)) << bad;
    EXPECT_NE(problem.find("UTF-8"), std::string::npos);
  }
}

TEST(Codepage1252, FoldsAsciiAndLatinLetters) {
  EXPECT_EQ(sfx::FoldName1252("setup.exe"), "SETUP.EXE");
  EXPECT_EQ(sfx::FoldName1252("\xE4\xF6\xFC\xE9"), "\xC4\xD6\xDC\xC9");
  EXPECT_EQ(sfx::FoldName1252("\x9A\x9C\x9E\xFF"), "\x8A\x8C\x8E\x9F");
  // sharp s, division sign, micro sign and digits have no other case
  EXPECT_EQ(sfx::FoldName1252("\xDF\xF7\xB5"
                              "1"),
            "\xDF\xF7\xB5"
            "1");
  EXPECT_EQ(sfx::FoldName1252("\xD7"), "\xD7");
}

TEST(Codepage1252, AsciiCaseComparisonLeavesOtherLettersApart) {
  EXPECT_TRUE(sfx::EqualsIgnoreAsciiCase("SETUP.cfg", "Setup.CFG"));
  EXPECT_FALSE(sfx::EqualsIgnoreAsciiCase("Setup.cfg", "Setup.cf"));
  EXPECT_FALSE(sfx::EqualsIgnoreAsciiCase("\xE4", "\xC4"));
}

TEST(EntryNameRules, AcceptsOrdinaryRelativeNames) {
  for (const char* name : {"Setup.exe", "data\\sub\\file.bin",
                           "Gr\xFC\xDF"
                           "e.txt",
                           ".hidden", "a b.txt", "x..y", "CONFIG.SYS", "com10", "lpt"}) {
    EXPECT_EQ(sfx::EntryNameProblem(name), "") << name;
  }
}

struct RefusedName {
  std::string name;
  const char* reason_part;
};

TEST(EntryNameRules, RefusesEachUnsafeOrUnwritableForm) {
  const RefusedName cases[] = {
      {"", "empty"},
      {"\\abs.txt", "absolute"},
      {"C:\\x.txt", "colon"},
      {"C:x.txt", "colon"},
      {"file.txt:stream", "colon"},
      {"a/b.txt", "slash"},
      {"a\\\\b.txt", "empty folder component"},
      {"dir\\", "empty folder component"},
      {".\\a.txt", "'.' or '..'"},
      {"..\\a.txt", "'.' or '..'"},
      {"a\\..\\..\\b", "'.' or '..'"},
      {"name.", "dot or a space"},
      {"name ", "dot or a space"},
      {"dir.\\a.txt", "dot or a space"},
      {"...", "dot or a space"},
      {"tab\there", "control"},
      {"bell\x07", "control"},
      {"del\x7F", "control"},
      {std::string("nul\0inside", 10), "NUL"},
      {"what?.txt", "'?'"},
      {"star*.txt", "'*'"},
      {"a<b", "'<'"},
      {"a>b", "'>'"},
      {"a|b", "'|'"},
      {"say\"hi\"", "'\"'"},
      {"CON", "device"},
      {"dir\\nul.txt", "device"},
      {"Aux.tar.gz", "device"},
      {"com1", "device"},
      {"LPT9.log", "device"},
      {"COM0", "device"},
      {"lpt\xB9.txt", "device"},
      {"CON .txt", "device"},
  };
  for (const RefusedName& c : cases) {
    const std::string problem = sfx::EntryNameProblem(c.name);
    EXPECT_NE(problem.find(c.reason_part), std::string::npos)
        << "name \"" << c.name << "\" gave \"" << problem << "\", expected a mention of " << c.reason_part;
  }
}

TEST(EntryNameRules, LengthLimitLeavesRoomForTheWorkingFolder) {
  const std::string longest(sfx::kMaxEntryNameLength, 'n');
  EXPECT_EQ(sfx::EntryNameProblem(longest), "");
  EXPECT_NE(sfx::EntryNameProblem(longest + "n").find("longer than 411"), std::string::npos);
  // Nested folders count with their separators.
  std::string nested;
  while (nested.size() < sfx::kMaxEntryNameLength + 1) nested += "d\\";
  nested += "f";
  EXPECT_NE(sfx::EntryNameProblem(nested), "");
}

TEST(EntryNameRules, WarnsOnlyAboveTheLongNameMark) {
  EXPECT_EQ(sfx::EntryNameWarning(std::string(sfx::kLongEntryNameLength, 'n')), "");
  EXPECT_NE(sfx::EntryNameWarning(std::string(sfx::kLongEntryNameLength + 1, 'n')), "");
  // Names near or past the limit itself: no temp folder is short enough.
  for (std::size_t length : {sfx::kAnsiPathLimit - 12, sfx::kAnsiPathLimit + 99}) {
    const std::string warning = sfx::EntryNameWarning(std::string(length, 'n'));
    EXPECT_NE(warning.find("with any temp folder"), std::string::npos) << warning;
  }
  EXPECT_NE(sfx::EntryNameWarning(std::string(sfx::kAnsiPathLimit - 13, 'n')).find("more than 13 characters"),
            std::string::npos);
}

TEST(EntryNameRules, HostComponentsWithBackslashesAreRefused) {
  std::string out;
  std::string problem;
  EXPECT_FALSE(sfx::HostComponentToEntry("a\\b", &out, &problem));
  EXPECT_NE(problem.find("backslash"), std::string::npos);
  ASSERT_TRUE(sfx::HostComponentToEntry("\xC3\xA9t\xC3\xA9", &out, &problem));
  EXPECT_EQ(out, "\xE9t\xE9");
}

TEST(EntryNameRules, RelativePathsUseBackslashes) {
  std::string out;
  ASSERT_TRUE(sfx::RelativePathToEntryName("./docs/read me.txt", &out, nullptr));
  EXPECT_EQ(out, "docs\\read me.txt");
  ASSERT_TRUE(sfx::RelativePathToEntryName("a\\b", &out, nullptr));
  EXPECT_EQ(out, "a\\b");
}

TEST(EntryNameClashes, DistinctNamesAreAccepted) {
  sfx::EntryNameSet set;
  EXPECT_EQ(set.Add("a.txt"), "");
  EXPECT_EQ(set.Add("b.txt"), "");
  EXPECT_EQ(set.Add("Dir\\a.txt"), "");
  EXPECT_EQ(set.Add("dir\\b.txt"), "");  // the same folder in another case is fine
  EXPECT_EQ(set.Add("\xDF.txt"), "");    // sharp s is not "SS"
  EXPECT_EQ(set.Add("SS.txt"), "");
}

TEST(EntryNameClashes, RefusesNamesDifferingOnlyInCase) {
  sfx::EntryNameSet set;
  EXPECT_EQ(set.Add("ReadMe.txt"), "");
  EXPECT_NE(set.Add("README.TXT").find("letter case"), std::string::npos);
  EXPECT_EQ(set.Add("\xC4rger.txt"), "");                                     // A umlaut
  EXPECT_NE(set.Add("\xE4rger.txt").find("letter case"), std::string::npos);  // a umlaut
  EXPECT_EQ(set.Add("\x8A.txt"), "");                                         // S caron
  EXPECT_NE(set.Add("\x9A.txt").find("letter case"), std::string::npos);
  EXPECT_NE(set.Add("ReadMe.txt").find("twice"), std::string::npos);
}

TEST(EntryNameClashes, RefusesAFileThatIsAlsoAFolder) {
  sfx::EntryNameSet first_file;
  EXPECT_EQ(first_file.Add("docs"), "");
  EXPECT_NE(first_file.Add("Docs\\readme.txt").find("folder"), std::string::npos);

  sfx::EntryNameSet first_folder;
  EXPECT_EQ(first_folder.Add("docs\\sub\\readme.txt"), "");
  EXPECT_NE(first_folder.Add("DOCS\\SUB").find("folder"), std::string::npos);
  EXPECT_EQ(first_folder.Add("docs\\sub2"), "");
}

TEST(PrintableText, EscapesWhatATerminalWouldObey) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"plain\\name.txt", "plain\\name.txt"},
      {"Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC", "Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC"},  // letters and the euro sign stay
      {"\x1B]0;owned\x07", "\\x1B]0;owned\\x07"},                            // C0: a title change
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"del\x7F", "del\\x7F"},
      {"csi\xC2\x9B"
       "2J",
       "csi\\u009B2J"},                    // C1 in UTF-8: the one-byte CSI
      {"bad\xFF\xC3", "bad\\xFF\\xC3"},    // invalid byte, truncated sequence
      {"long\xC0\x80", "long\\xC0\\x80"},  // overlong form of NUL
      {"sur\xED\xA0\x80", "sur\\xED\\xA0\\x80"},
  };
  for (const Case& c : cases) EXPECT_EQ(sfx::PrintableText(c.in), c.out) << c.out;
  EXPECT_EQ(sfx::PrintableName("\x81\x1B[2J"), "\\u0081\\x1B[2J");  // Windows-1252 names too
}

}  // namespace
