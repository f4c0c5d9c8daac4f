// Folder scanning: names relative to the folder in Windows-1252 with
// backslashes, warnings for empty folders and long names, and the refusal
// of links, unconvertible names and clashing names.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "packer/folder_scan.h"
#include "packer/host_path.h"
#include "packer/pack_error.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
using sfx::test::ScratchDir;
using sfx::test::U8Path;
using sfx::test::WriteText;

std::map<std::string, std::uint64_t> NamesAndSizes(const sfx::FolderScan& scan) {
  std::map<std::string, std::uint64_t> out;
  for (const sfx::ScannedFile& file : scan.files) out[file.name] = file.size;
  return out;
}

std::string ScanError(const fs::path& dir) {
  try {
    sfx::ScanFolder(dir);
  } catch (const sfx::PackError& e) {
    return e.what();
  }
  return "";
}

TEST(FolderScan, NamesFilesRelativeToTheFolder) {
  ScratchDir dir;
  WriteText(dir.path() / "Setup.cfg", "cfg");
  WriteText(dir.path() / "a" / "b" / "deep.txt", "12345");
  WriteText(dir.path() / "empty.txt", "");
  WriteText(dir.path() / U8Path("Gr\xC3\xBC\xC3\x9F"
                                "e.txt"),
            "hi");
  const sfx::FolderScan scan = sfx::ScanFolder(dir.path());
  EXPECT_EQ(NamesAndSizes(scan), (std::map<std::string, std::uint64_t>{{"Setup.cfg", 3},
                                                                       {"a\\b\\deep.txt", 5},
                                                                       {"empty.txt", 0},
                                                                       {"Gr\xFC\xDF"
                                                                        "e.txt",
                                                                        2}}));
  EXPECT_TRUE(scan.warnings.empty());
  for (const sfx::ScannedFile& file : scan.files) EXPECT_TRUE(fs::is_regular_file(file.source)) << file.name;
}

TEST(FolderScan, WarnsAboutEmptyFolders) {
  ScratchDir dir;
  WriteText(dir.path() / "file.txt", "x");
  fs::create_directories(dir.path() / "nothing" / "inside");
  const sfx::FolderScan scan = sfx::ScanFolder(dir.path());
  EXPECT_EQ(scan.files.size(), 1u);
  ASSERT_EQ(scan.warnings.size(), 1u);
  EXPECT_NE(scan.warnings[0].find("inside"), std::string::npos) << scan.warnings[0];
  EXPECT_NE(scan.warnings[0].find("empty folder"), std::string::npos);
}

TEST(FolderScan, WarnsAboutLongNames) {
  ScratchDir dir;
  const std::string component(200, 'n');
  std::error_code error;
  fs::create_directories(dir.path() / component, error);
  if (error) GTEST_SKIP() << "the host does not allow such long paths here";
  WriteText(dir.path() / component / component, "x");
  if (!fs::exists(dir.path() / component / component)) GTEST_SKIP() << "the host does not allow such long paths here";
  const sfx::FolderScan scan = sfx::ScanFolder(dir.path());
  ASSERT_EQ(scan.files.size(), 1u);
  ASSERT_EQ(scan.warnings.size(), 1u);
  EXPECT_NE(scan.warnings[0].find("401 characters"), std::string::npos) << scan.warnings[0];
}

TEST(FolderScan, RefusesAPathThatIsNotAFolder) {
  ScratchDir dir;
  WriteText(dir.path() / "file", "x");
  EXPECT_NE(ScanError(dir.path() / "file"), "");
  EXPECT_NE(ScanError(dir.path() / "missing"), "");
}

TEST(FolderScan, RefusesNamesWithoutAWindows1252Form) {
  ScratchDir dir;
  WriteText(dir.path() / "fine.txt", "x");
  WriteText(dir.path() / U8Path("\xE6\x97\xA5\xE6\x9C\xAC.txt"), "x");
  const std::string error = ScanError(dir.path());
  EXPECT_NE(error.find("Windows-1252"), std::string::npos) << error;
}

TEST(FolderScan, ReportsEveryProblemAtOnce) {
  ScratchDir dir;
  WriteText(dir.path() / U8Path("\xE6\x97\xA5.txt"), "x");
  WriteText(dir.path() / "sub" / U8Path("\xE2\x98\x83.txt"), "x");  // snowman
  const std::string error = ScanError(dir.path());
  EXPECT_NE(error.find("U+65E5"), std::string::npos) << error;
  EXPECT_NE(error.find("U+2603"), std::string::npos) << error;
}

#ifndef _WIN32
// The following need a host file system that is case-sensitive and allows
// any byte but '/' in names, and POSIX symbolic links.

TEST(FolderScan, RefusesSymbolicLinks) {
  ScratchDir dir;
  ScratchDir outside;
  WriteText(outside.path() / "secret.txt", "secret");
  WriteText(dir.path() / "file.txt", "x");
  fs::create_symlink(outside.path() / "secret.txt", dir.path() / "link.txt");
  EXPECT_NE(ScanError(dir.path()).find("symbolic link"), std::string::npos);

  ScratchDir dir2;
  fs::create_directory_symlink(outside.path(), dir2.path() / "linked-folder");
  EXPECT_NE(ScanError(dir2.path()).find("symbolic link"), std::string::npos);
}

TEST(FolderScan, RefusesNamesDifferingOnlyInCase) {
  ScratchDir dir;
  WriteText(dir.path() / "readme.txt", "a");
  WriteText(dir.path() / "README.txt", "b");
  EXPECT_NE(ScanError(dir.path()).find("letter case"), std::string::npos);

  ScratchDir latin;
  WriteText(latin.path() / U8Path("\xC3\xA4.txt"), "a");  // a umlaut
  WriteText(latin.path() / U8Path("\xC3\x84.txt"), "b");  // A umlaut
  EXPECT_NE(ScanError(latin.path()).find("letter case"), std::string::npos);
}

TEST(FolderScan, RefusesNamesWindowsCannotCreate) {
  for (const char* name : {"what?.txt", "a\\b.txt", "trailing.", "con.txt", "tab\tname"}) {
    ScratchDir dir;
    WriteText(dir.path() / name, "x");
    EXPECT_NE(ScanError(dir.path()), "") << name;
  }
}

TEST(FolderScan, RefusesNamesThatAreNotUtf8) {
  ScratchDir dir;
  WriteText(dir.path() / "\xFF\xFE.txt", "x");
  EXPECT_NE(ScanError(dir.path()).find("UTF-8"), std::string::npos);
}
#endif

TEST(FolderScan, ExcludesByNameOrRelativePath) {
  for (const auto& [pattern, text, matches] :
       std::vector<std::tuple<std::string, std::string, bool>>{{"*.pdb", "App.PDB", true},
                                                               {"*.pdb", "app.pdb.txt", false},
                                                               {"Thumbs.db", "thumbs.db", true},
                                                               {"?.txt", "ab.txt", false},
                                                               {"a*b*c", "aXbYbZc", true},
                                                               {"", "", true}}) {
    EXPECT_EQ(sfx::GlobMatches(pattern, text), matches) << pattern << " " << text;
  }
  ScratchDir dir;
  WriteText(dir.path() / "Setup.exe", "x");
  WriteText(dir.path() / "keep" / "a.pdb", "x");
  WriteText(dir.path() / "drop" / "a.pdb", "x");
  WriteText(dir.path() / ".git" / "HEAD", "x");
  const sfx::FolderScan scan = sfx::ScanFolder(dir.path(), {"drop/*.pdb", ".git"});
  EXPECT_EQ(NamesAndSizes(scan), (std::map<std::string, std::uint64_t>{{"Setup.exe", 1}, {"keep\\a.pdb", 1}}));
  EXPECT_EQ(scan.excluded, 2u);
  ASSERT_EQ(scan.warnings.size(), 1u);
  EXPECT_NE(scan.warnings[0].find("--exclude '*.pdb'"), std::string::npos) << scan.warnings[0];
}

TEST(FolderScan, ReadsAFolderWhosePathPassesWindowsLimit) {
  ScratchDir dir;
  fs::path deep = dir.path();
  for (char c : {'a', 'b', 'c'}) deep /= std::string(100, c);
  ASSERT_GT(deep.native().size(), 300u);
  WriteText(sfx::ExtendedLengthPath(deep / "Setup.exe"), "x");
  WriteText(sfx::ExtendedLengthPath(deep / "sub" / "a.txt"), "yz");
  EXPECT_EQ(NamesAndSizes(sfx::ScanFolder(deep)),
            (std::map<std::string, std::uint64_t>{{"Setup.exe", 1}, {"sub\\a.txt", 2}}));
}

}  // namespace
