// CheckInstalledVersion on real version resources: the fixture programs are
// copied into a scratch folder as "mivor.exe" (and "mivorjpn.nls"), and the
// check's setup record is set as the parser would have set it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "update/update_check.h"
#include "update/version_check.h"
#include "update/version_library.h"
#include "update_test_support.h"

namespace {

HMODULE FailingVersionLoader() { return nullptr; }

// A real library that lacks the version functions.
HMODULE WrongLibraryLoader() { return LoadLibraryA("kernel32.dll"); }

class CheckInstalledVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sfx::update_platform.load_version_library = &sfx_test::CountingVersionLoader;
    SetProductFolder(folder_.path().substr(0, folder_.path().size() - 1));
  }

  void SetProductFolder(const std::string& folder) {
    ASSERT_LT(folder.size(), sizeof(check_.product_folder));
    std::strcpy(check_.product_folder, folder.c_str());
  }

  void InstallProduct(const std::string& fixture) { sfx_test::CopyFixture(fixture, folder_.Join("mivor.exe")); }

  void SetRange(std::uint32_t lo, std::uint32_t hi) {
    check_.config.version_lo = lo;
    check_.config.version_hi = hi;
  }

  sfx_test::UpdatePlatformGuard platform_;
  sfx::UpdateCheck check_ = sfx_test::FreshUpdateCheck();
  sfx::test::ScratchFolder folder_;
};

// --- MP3_INSTALL ---

TEST_F(CheckInstalledVersionTest, Mp3InstallQualifiesWithoutLookingAtAnyFile) {
  check_.config.mp3_install = 1;
  check_.config.product_name = "Mivor";
  check_.config.check_language = 1;
  SetRange(0x05000000, 0x05000000);
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
  EXPECT_EQ(sfx_test::version_library_loads(), 0);
}

// --- the version range ---

TEST_F(CheckInstalledVersionTest, DefaultRangeAcceptsEveryVersion) {
  InstallProduct("update_fixture_v4_0_3_0");
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
  InstallProduct("update_fixture_wide_components");
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, LowerBoundIsIncluded) {
  InstallProduct("update_fixture_v4_0_3_0");
  SetRange(0x04000300, 0xFFFFFFFF);
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
  SetRange(0x04000301, 0xFFFFFFFF);
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, UpperBoundIsIncluded) {
  InstallProduct("update_fixture_v4_0_3_0");
  SetRange(0, 0x04000300);
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
  SetRange(0, 0x040002FF);
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, RangeIsComparedAsUnsignedNumbers) {
  InstallProduct("update_fixture_v4_0_3_0");
  SetRange(0x80000000, 0xFFFFFFFF);
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
  SetRange(0, 0x80000000);
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, ComponentAbove255WrapsToItsLowByte) {
  InstallProduct("update_fixture_v4_0_259_0");
  SetRange(0x04000300, 0x04000300);
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, ComponentsArePackedMajorFirstOneByteEach) {
  // File version 258.515.772.1029 has the low bytes 2, 3, 4 and 5.
  InstallProduct("update_fixture_wide_components");
  SetRange(0x02030405, 0x02030405);
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
  SetRange(0x02030406, 0xFFFFFFFF);
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
  SetRange(0, 0x02030404);
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

// --- the product executable ---

TEST_F(CheckInstalledVersionTest, MissingExecutableDoesNotQualify) { EXPECT_FALSE(sfx::CheckInstalledVersion(check_)); }

TEST_F(CheckInstalledVersionTest, ExecutableWithoutVersionInformationDoesNotQualify) {
  InstallProduct("update_fixture_without_version");
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, FolderWithATrailingBackslashIsUsedAsItIs) {
  InstallProduct("update_fixture_v4_0_3_0");
  SetProductFolder(folder_.path());  // with its trailing backslash
  SetRange(0x04000300, 0x04000300);
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, OnlyTheExecutableOfTheProductFolderCounts) {
  folder_.MakeFolder("Mivor");
  sfx_test::CopyFixture("update_fixture_v4_0_3_0", folder_.Join("Mivor\\mivor.exe"));
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
  SetProductFolder(folder_.Join("Mivor"));
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
}

// --- the product name ---

TEST_F(CheckInstalledVersionTest, MatchingProductNameQualifies) {
  InstallProduct("update_fixture_v4_0_3_0");
  check_.config.product_name = "Mivor";
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, ProductNameDifferingInCaseDoesNotQualify) {
  InstallProduct("update_fixture_v4_0_3_0");
  check_.config.product_name = "mivor";
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
  check_.config.product_name = "MIVOR";
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, ProductNameMustMatchWholly) {
  InstallProduct("update_fixture_v4_0_3_0");
  check_.config.product_name = "Mivo";
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
  check_.config.product_name = "Mivor 4";
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
  check_.config.product_name = "";
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, ProductNameOnlyInAnotherLanguageDoesNotQualify) {
  InstallProduct("update_fixture_german_only");
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_)) << "no name asked for: only the version counts";
  check_.config.product_name = "Mivor";
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, StringTableWithoutAProductNameDoesNotQualify) {
  InstallProduct("update_fixture_without_name");
  check_.config.product_name = "Mivor";
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, RightNameWithAVersionOutOfRangeDoesNotQualify) {
  InstallProduct("update_fixture_v4_0_3_0");
  check_.config.product_name = "Mivor";
  SetRange(0x05000000, 0x05FFFFFF);
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

// --- the language file ---

TEST_F(CheckInstalledVersionTest, LanguageCheckWithALanguageFileWithVersionInformationQualifies) {
  InstallProduct("update_fixture_v4_0_3_0");
  sfx_test::CopyFixture("update_fixture_without_name", folder_.Join("mivorjpn.nls"));
  check_.config.check_language = 1;
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, LanguageCheckWithoutTheLanguageFileDoesNotQualify) {
  InstallProduct("update_fixture_v4_0_3_0");
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_)) << "without the check the file is not needed";
  check_.config.check_language = 1;
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, LanguageFileWithoutVersionInformationDoesNotQualify) {
  InstallProduct("update_fixture_v4_0_3_0");
  check_.config.check_language = 1;
  sfx_test::CopyFixture("update_fixture_without_version", folder_.Join("mivorjpn.nls"));
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
  sfx::test::WriteText(folder_.Join("mivorjpn.nls"), "language table, no resources at all\r\n");
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, LanguageFileDoesNotRescueAProductOutOfRange) {
  InstallProduct("update_fixture_v4_0_3_0");
  sfx_test::CopyFixture("update_fixture_v4_0_3_0", folder_.Join("mivorjpn.nls"));
  check_.config.check_language = 1;
  SetRange(0x05000000, 0xFFFFFFFF);
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

// --- the version library ---

TEST_F(CheckInstalledVersionTest, VersionLibraryThatCannotBeLoadedMeansNotQualifying) {
  InstallProduct("update_fixture_v4_0_3_0");
  sfx::update_platform.load_version_library = &FailingVersionLoader;
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, LibraryWithoutTheVersionFunctionsMeansNotQualifying) {
  InstallProduct("update_fixture_v4_0_3_0");
  sfx::update_platform.load_version_library = &WrongLibraryLoader;
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
}

TEST_F(CheckInstalledVersionTest, VersionLibraryIsLoadedOnceAndReleased) {
  // Nothing in this program but the check loads the version library, so it
  // is loaded here only when an earlier check kept it.
  ASSERT_EQ(GetModuleHandleA("version.dll"), nullptr) << "an earlier check kept the library";
  InstallProduct("update_fixture_v4_0_3_0");
  check_.config.product_name = "Mivor";
  EXPECT_TRUE(sfx::CheckInstalledVersion(check_));
  EXPECT_EQ(sfx_test::version_library_loads(), 1);
  EXPECT_EQ(GetModuleHandleA("version.dll"), nullptr);
  // A failure after the block was read, and one before.
  check_.config.product_name = "Other";
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
  EXPECT_EQ(GetModuleHandleA("version.dll"), nullptr);
  SetProductFolder(folder_.Join("absent"));
  EXPECT_FALSE(sfx::CheckInstalledVersion(check_));
  EXPECT_EQ(GetModuleHandleA("version.dll"), nullptr);
  EXPECT_EQ(sfx_test::version_library_loads(), 3);
}

TEST(VersionLibraryLoader, LoadsTheLibraryOfTheSystemFolder) {
  HMODULE module = sfx::LoadSystemVersionLibrary();
  ASSERT_NE(module, nullptr);
  char loaded[MAX_PATH];
  char system[MAX_PATH];
  DWORD loaded_length = GetModuleFileNameA(module, loaded, MAX_PATH);
  UINT system_length = GetSystemDirectoryA(system, MAX_PATH);
  FreeLibrary(module);
  ASSERT_GT(loaded_length, 0u);
  ASSERT_GT(system_length, 0u);
  EXPECT_EQ(lstrcmpiA(loaded, (std::string(system) + "\\version.dll").c_str()), 0) << loaded;
}

}  // namespace
