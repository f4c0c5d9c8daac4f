// LocateProduct: the profile file on old platforms, the two application-path
// keys, and the media player fallback of MP3_INSTALL. Registry values are
// real values in the test's own key; profile files are real files in the
// Windows folder, read by the real GetPrivateProfileStringA.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "update/product_locator.h"
#include "update/update_check.h"
#include "update_test_support.h"

namespace {

constexpr char kWindowsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\mivor.exe";
constexpr char kNTKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\App Paths\\mivor.exe";
constexpr char kPlayerKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\MivorMediaPlayer.exe";

class LocateProductTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sfx::update_platform.get_version = &sfx_test::Major5Minor3PlatformVersion;
    std::strcpy(check_.app_paths_key, kWindowsKey);
    std::strcpy(check_.app_paths_key_nt, kNTKey);
    std::strcpy(check_.product_ini_file, profile_name_.c_str());
  }

  std::string Folder() const { return check_.product_folder; }

  sfx_test::UpdatePlatformGuard platform_;
  sfx::UpdateCheck check_ = sfx_test::FreshUpdateCheck();
  sfx_test::RegistrySandbox registry_;
  std::string profile_name_ = sfx_test::UniqueProfileName();
};

// --- old platforms: the profile file ---

class LocateProductOldPlatformTest : public LocateProductTest {
 protected:
  void SetUp() override {
    LocateProductTest::SetUp();
    sfx::update_platform.get_version = &sfx_test::OldPlatformVersion;
  }
};

TEST_F(LocateProductOldPlatformTest, UsesTheProfileValueUnchanged) {
  sfx_test::WindowsFolderFile profile(profile_name_, "[Info]\r\nPath=D:\\Apps\\Mivor\\mivor.exe\r\n");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "D:\\Apps\\Mivor\\mivor.exe");
}

TEST_F(LocateProductOldPlatformTest, KeepsATrailingBackslash) {
  sfx_test::WindowsFolderFile profile(profile_name_, "[Info]\r\nPath=D:\\Apps\\Mivor\\\r\n");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "D:\\Apps\\Mivor\\");
}

TEST_F(LocateProductOldPlatformTest, DoesNotConsultTheRegistry) {
  registry_.SetDefaultString(kWindowsKey, "E:\\Other\\mivor.exe");
  EXPECT_FALSE(sfx::LocateProduct(check_));
  sfx_test::WindowsFolderFile profile(profile_name_, "[Info]\r\nPath=D:\\Apps\\Mivor\r\n");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "D:\\Apps\\Mivor");
  EXPECT_TRUE(registry_.opens().empty());
}

TEST_F(LocateProductOldPlatformTest, MissingProfileFileGivesFalse) { EXPECT_FALSE(sfx::LocateProduct(check_)); }

TEST_F(LocateProductOldPlatformTest, MissingSectionGivesFalse) {
  sfx_test::WindowsFolderFile profile(profile_name_, "[Setup]\r\nPath=D:\\Apps\\Mivor\r\n");
  EXPECT_FALSE(sfx::LocateProduct(check_));
}

TEST_F(LocateProductOldPlatformTest, MissingKeyGivesFalse) {
  sfx_test::WindowsFolderFile profile(profile_name_, "[Info]\r\nFolder=D:\\Apps\\Mivor\r\n");
  EXPECT_FALSE(sfx::LocateProduct(check_));
}

TEST_F(LocateProductOldPlatformTest, EmptyValueGivesFalse) {
  sfx_test::WindowsFolderFile profile(profile_name_, "[Info]\r\nPath=\r\n");
  EXPECT_FALSE(sfx::LocateProduct(check_));
}

TEST_F(LocateProductOldPlatformTest, MajorVersion4AndLaterUseTheRegistry) {
  sfx_test::WindowsFolderFile profile(profile_name_, "[Info]\r\nPath=D:\\FromProfile\r\n");
  registry_.SetDefaultString(kWindowsKey, "E:\\FromRegistry\\mivor.exe");

  sfx::update_platform.get_version = &sfx_test::Major4PlatformVersion;
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "E:\\FromRegistry");

  // 5.3: the major version is the low byte, not the minor one above it.
  sfx::update_platform.get_version = &sfx_test::Major5Minor3PlatformVersion;
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "E:\\FromRegistry");

  sfx::update_platform.get_version = &sfx_test::OldPlatformVersion;
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "D:\\FromProfile");
}

// --- the application-path keys ---

TEST_F(LocateProductTest, WindowsKeyGivesTheFolderOfTheExecutable) {
  registry_.SetDefaultString(kWindowsKey, "D:\\Apps\\Mivor\\mivor.exe");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "D:\\Apps\\Mivor");
}

TEST_F(LocateProductTest, NTKeyIsUsedWhenTheWindowsKeyIsMissing) {
  registry_.SetDefaultString(kNTKey, "C:\\Program Files\\Mivor\\mivor.exe");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "C:\\Program Files\\Mivor");
}

TEST_F(LocateProductTest, WindowsKeyWinsOverTheNTKey) {
  registry_.SetDefaultString(kWindowsKey, "D:\\Windows Key\\mivor.exe");
  registry_.SetDefaultString(kNTKey, "D:\\NT Key\\mivor.exe");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "D:\\Windows Key");
}

TEST_F(LocateProductTest, KeysAreReadUnderLocalMachineWithReadAccess) {
  EXPECT_FALSE(sfx::LocateProduct(check_));
  ASSERT_EQ(registry_.opens().size(), 2u);
  EXPECT_EQ(registry_.opens()[0].path, kWindowsKey);
  EXPECT_EQ(registry_.opens()[1].path, kNTKey);
  for (const auto& open : registry_.opens()) {
    EXPECT_EQ(open.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(open.access, static_cast<REGSAM>(KEY_READ));
  }
}

TEST_F(LocateProductTest, ValueWithoutABackslashIsUsedWhole) {
  registry_.SetDefaultString(kWindowsKey, "mivor.exe");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "mivor.exe");
}

TEST_F(LocateProductTest, OnlyTheLastBackslashCuts) {
  registry_.SetDefaultString(kWindowsKey, "D:\\a\\b\\");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "D:\\a\\b");
}

TEST_F(LocateProductTest, EmptyValueCountsAsFound) {
  registry_.SetDefaultString(kWindowsKey, "");
  registry_.SetDefaultString(kNTKey, "D:\\NT Key\\mivor.exe");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "");
}

TEST_F(LocateProductTest, ValueTooLongForTheQueryCountsAsMissing) {
  registry_.SetDefaultString(kWindowsKey, "D:\\" + std::string(300, 'a') + "\\mivor.exe");
  registry_.SetDefaultString(kNTKey, "D:\\NT Key\\mivor.exe");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "D:\\NT Key");
}

// --- the media player fallback ---

TEST_F(LocateProductTest, WithoutMp3InstallTheMediaPlayerIsIgnored) {
  registry_.SetDefaultString(kPlayerKey, "D:\\Player\\MivorMediaPlayer.exe");
  EXPECT_FALSE(sfx::LocateProduct(check_));
}

TEST_F(LocateProductTest, Mp3InstallWithoutAPlayerKeyGivesFalse) {
  check_.config.mp3_install = 1;
  EXPECT_FALSE(sfx::LocateProduct(check_));
}

TEST_F(LocateProductTest, Mp3InstallGivesThePlayerFolderWithMivorFiles) {
  check_.config.mp3_install = 1;
  registry_.SetDefaultString(kPlayerKey, "D:\\Player\\MivorMediaPlayer.exe");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "D:\\Player\\MivorFiles");
}

TEST_F(LocateProductTest, PlayerValueWithoutABackslashKeepsItsWholeText) {
  check_.config.mp3_install = 1;
  registry_.SetDefaultString(kPlayerKey, "Player.exe");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "Player.exe\\MivorFiles");
}

TEST_F(LocateProductTest, Mp3InstallStillPrefersTheProductKeys) {
  check_.config.mp3_install = 1;
  registry_.SetDefaultString(kNTKey, "D:\\Apps\\Mivor\\mivor.exe");
  registry_.SetDefaultString(kPlayerKey, "D:\\Player\\MivorMediaPlayer.exe");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "D:\\Apps\\Mivor");
}

TEST_F(LocateProductTest, PlayerFolderThatJustFitsWithMivorFilesIsUsed) {
  check_.config.mp3_install = 1;
  // 247 characters before the player's name, plus "\MivorFiles\" and the
  // zero, fill the 260-byte folder exactly.
  std::string player_folder = "D:\\" + std::string(244, 'p');
  registry_.SetDefaultString(kPlayerKey, player_folder + "\\pl.exe");
  ASSERT_TRUE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), player_folder + "\\MivorFiles");
}

TEST_F(LocateProductTest, PlayerFolderTooLongForMivorFilesGivesFalse) {
  check_.config.mp3_install = 1;
  registry_.SetDefaultString(kPlayerKey, "D:\\" + std::string(245, 'p') + "\\pl.exe");
  EXPECT_FALSE(sfx::LocateProduct(check_));
  EXPECT_EQ(Folder(), "");
}

}  // namespace
