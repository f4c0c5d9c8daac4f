// DecideUpdate from the bytes of a real Setup.cfg through the real parser, the locator
// (registry values in the test's own key, profile files in the Windows
// folder) and the version check on the fixture programs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "update/update_decision.h"
#include "update/update_check.h"
#include "update_test_support.h"

namespace {

constexpr char kWindowsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\mivor.exe";
constexpr char kNTKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\App Paths\\mivor.exe";
constexpr char kPlayerKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\MivorMediaPlayer.exe";

// A configuration that the installed 4.0.3.0 "Mivor" satisfies.
constexpr char kVersion4Config[] =
    "# update for version 4\r\n"
    "VERSION_LO 04000000\r\n"
    "VERSION_HI 04FFFFFF\r\n"
    "PRODUCT_NAME \"Mivor\"\r\n"
    "\"Setup.exe\"\r\n"
    "WIN95 WINNT \"mivor.exe\"\r\n";

class DecideUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sfx::update_platform.get_version = &sfx_test::Major5Minor3PlatformVersion;
    sfx::update_platform.load_version_library = &sfx_test::CountingVersionLoader;
  }

  // The decision on a fresh record, kept in check_ for a look afterwards.
  bool Decide(const std::string& config) {
    check_ = sfx::UpdateCheck{};
    return sfx::DecideUpdateWith(check_, reinterpret_cast<const std::uint8_t*>(config.data()), config.size());
  }

  // Installs the 4.0.3.0 product in <scratch>\Mivor and returns the full
  // path of its executable.
  std::string InstallProduct() {
    product_.MakeFolder("Mivor");
    return sfx_test::CopyFixture("update_fixture_v4_0_3_0", product_.Join("Mivor\\mivor.exe"));
  }

  sfx_test::UpdatePlatformGuard platform_;
  sfx::UpdateCheck check_;
  sfx_test::RegistrySandbox registry_;
  sfx::test::ScratchFolder product_;
};

// --- the configuration ---

TEST_F(DecideUpdateTest, ConfigurationWithASyntaxErrorDoesNotQualify) {
  registry_.SetDefaultString(kWindowsKey, InstallProduct());
  ASSERT_TRUE(Decide(kVersion4Config));
  EXPECT_FALSE(Decide("VERSION_LO 04000000\r\nWIN95\r\n"));
  EXPECT_FALSE(Decide("PRODUCT_NAME Mivor\r\n"));
}

TEST_F(DecideUpdateTest, ScrambledConfigurationIsReadLikeAPlainOne) {
  registry_.SetDefaultString(kWindowsKey, InstallProduct());
  // First byte 0x80: key 0xA0, advancing by 15 per byte; it reads as a space.
  std::string plain = std::string(" ") + "VERSION_LO 05000000";
  std::string scrambled;
  unsigned key = 0x80 ^ 0x20;
  for (char c : plain) {
    scrambled += static_cast<char>(static_cast<unsigned char>(c) ^ key);
    key = (key + 15) & 0xFF;
  }
  EXPECT_FALSE(Decide(scrambled)) << "4.0.3.0 is below VERSION_LO 5";
  EXPECT_TRUE(Decide(" VERSION_LO 04000000"));
}

// --- locating the product ---

TEST_F(DecideUpdateTest, QualifyingProductFoundThroughTheWindowsKey) {
  registry_.SetDefaultString(kWindowsKey, InstallProduct());
  EXPECT_TRUE(Decide(kVersion4Config));
  EXPECT_EQ(std::string(check_.product_folder), product_.Join("Mivor"));
}

TEST_F(DecideUpdateTest, QualifyingProductFoundThroughTheNTKey) {
  registry_.SetDefaultString(kNTKey, InstallProduct());
  EXPECT_TRUE(Decide(kVersion4Config));
}

TEST_F(DecideUpdateTest, LooksUpTheApplicationPathsOfTheProductExecutable) {
  EXPECT_FALSE(Decide("MP3_INSTALL\r\n"));
  ASSERT_EQ(registry_.opens().size(), 3u);
  EXPECT_EQ(registry_.opens()[0].path, kWindowsKey);
  EXPECT_EQ(registry_.opens()[1].path, kNTKey);
  EXPECT_EQ(registry_.opens()[2].path, kPlayerKey);
}

TEST_F(DecideUpdateTest, ProductNotRegisteredDoesNotQualify) {
  InstallProduct();
  EXPECT_FALSE(Decide(kVersion4Config));
}

TEST_F(DecideUpdateTest, RegisteredProductWhoseFolderWasDeletedDoesNotQualify) {
  registry_.SetDefaultString(kWindowsKey, product_.Join("Deleted\\mivor.exe"));
  EXPECT_FALSE(Decide(kVersion4Config));
}

TEST_F(DecideUpdateTest, EmptyApplicationPathDoesNotQualify) {
  registry_.SetDefaultString(kWindowsKey, "");
  EXPECT_FALSE(Decide(""));
}

TEST_F(DecideUpdateTest, ProductOutOfRangeDoesNotQualify) {
  registry_.SetDefaultString(kWindowsKey, InstallProduct());
  EXPECT_FALSE(Decide("VERSION_HI 03FFFFFF\r\n"));
  EXPECT_FALSE(Decide("PRODUCT_NAME \"Other\"\r\n"));
  EXPECT_FALSE(Decide("CHECK_LANGUAGE\r\n"));
}

TEST_F(DecideUpdateTest, OldPlatformFindsTheProductThroughMivorIni) {
  InstallProduct();
  registry_.SetDefaultString(kWindowsKey, "D:\\Elsewhere\\mivor.exe");
  sfx::update_platform.get_version = &sfx_test::OldPlatformVersion;
  sfx_test::WindowsFolderFile profile("Mivor.ini", "[Info]\r\nPath=" + product_.Join("Mivor") + "\r\n");
  EXPECT_TRUE(Decide(kVersion4Config));
  EXPECT_TRUE(registry_.opens().empty());
}

// --- the media player ---

TEST_F(DecideUpdateTest, Mp3InstallWithThePlayerFilesFolderQualifiesWithoutAVersionTest) {
  product_.MakeFolder("Player\\MivorFiles");
  registry_.SetDefaultString(kPlayerKey, product_.Join("Player\\MivorMediaPlayer.exe"));
  EXPECT_TRUE(Decide("MP3_INSTALL\r\nVERSION_LO 09000000\r\nPRODUCT_NAME \"Mivor\"\r\n"));
  EXPECT_EQ(std::string(check_.product_folder), product_.Join("Player\\MivorFiles"));
  EXPECT_EQ(sfx_test::version_library_loads(), 0);
}

TEST_F(DecideUpdateTest, Mp3InstallWithoutThePlayerFilesFolderDoesNotQualify) {
  product_.MakeFolder("Player");
  registry_.SetDefaultString(kPlayerKey, product_.Join("Player\\MivorMediaPlayer.exe"));
  EXPECT_FALSE(Decide("MP3_INSTALL\r\n"));
}

TEST_F(DecideUpdateTest, ExistenceTestAcceptsAFileInPlaceOfTheFolder) {
  product_.MakeFolder("Player");
  sfx::test::WriteText(product_.Join("Player\\MivorFiles"), "not a folder");
  registry_.SetDefaultString(kPlayerKey, product_.Join("Player\\MivorMediaPlayer.exe"));
  EXPECT_TRUE(Decide("MP3_INSTALL\r\n"));
}

}  // namespace
