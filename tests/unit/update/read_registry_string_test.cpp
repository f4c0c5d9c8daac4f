// ReadRegistryString against real registry values: a missing key or value,
// the 256-byte query limit, truncation to the destination's capacity, data
// without a terminating zero, and empty values. The values live in the
// test's own key, which the read sees as HKEY_LOCAL_MACHINE.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "update/product_locator.h"
#include "update_test_support.h"

namespace {

constexpr char kKey[] = "SOFTWARE\\Vendor\\App Paths\\tool.exe";

class ReadRegistryStringTest : public ::testing::Test {
 protected:
  // Reads the default value of kKey into a 300-byte buffer filled with 'x',
  // so that a missing terminator or a write past `capacity` shows.
  bool Read(DWORD capacity) {
    std::memset(dest_, 'x', sizeof(dest_));
    return sfx::ReadRegistryString(HKEY_LOCAL_MACHINE, kKey, "", dest_, capacity);
  }

  sfx_test::UpdatePlatformGuard platform_;
  sfx_test::RegistrySandbox registry_;
  char dest_[300];
};

TEST_F(ReadRegistryStringTest, ReadsTheDefaultValueOfAKey) {
  registry_.SetDefaultString(kKey, "D:\\Apps\\Tool\\tool.exe");
  ASSERT_TRUE(Read(260));
  EXPECT_STREQ(dest_, "D:\\Apps\\Tool\\tool.exe");
}

TEST_F(ReadRegistryStringTest, ReadsTheNamedValueAsked) {
  registry_.SetDefaultString(kKey, "default");
  registry_.SetValue(kKey, "Path", REG_SZ, "named", 6);
  char dest[32];
  ASSERT_TRUE(sfx::ReadRegistryString(HKEY_LOCAL_MACHINE, kKey, "Path", dest, sizeof(dest)));
  EXPECT_STREQ(dest, "named");
}

TEST_F(ReadRegistryStringTest, OpensTheKeyForReadingWithoutOptionsAndClosesIt) {
  registry_.SetDefaultString(kKey, "value");
  ASSERT_TRUE(Read(260));
  ASSERT_EQ(registry_.opens().size(), 1u);
  EXPECT_EQ(registry_.opens()[0].root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(registry_.opens()[0].path, kKey);
  EXPECT_EQ(registry_.opens()[0].options, 0u);
  EXPECT_EQ(registry_.opens()[0].access, static_cast<REGSAM>(0x20019));
  EXPECT_EQ(registry_.open_keys(), 0);
}

TEST_F(ReadRegistryStringTest, ClosesTheKeyWhenTheValueIsMissing) {
  registry_.CreateKey(kKey);
  EXPECT_FALSE(Read(260));
  EXPECT_EQ(registry_.open_keys(), 0);
}

TEST_F(ReadRegistryStringTest, ZeroCapacityOrNoDestinationReadsNothing) {
  registry_.SetDefaultString(kKey, "value");
  EXPECT_FALSE(Read(0));
  EXPECT_EQ(dest_[0], 'x');
  EXPECT_FALSE(sfx::ReadRegistryString(HKEY_LOCAL_MACHINE, kKey, "", nullptr, 260));
  EXPECT_TRUE(registry_.opens().empty());
}

// --- missing values ---

TEST_F(ReadRegistryStringTest, MissingKeyGivesFalseAndAnEmptyDestination) {
  EXPECT_FALSE(Read(260));
  EXPECT_STREQ(dest_, "");
}

TEST_F(ReadRegistryStringTest, KeyWithoutADefaultValueGivesFalseAndAnEmptyDestination) {
  registry_.SetValue(kKey, "Other", REG_SZ, "x", 2);
  EXPECT_FALSE(Read(260));
  EXPECT_STREQ(dest_, "");
}

TEST_F(ReadRegistryStringTest, ValueOf256BytesIsReadWhole) {
  std::string text(255, 'a');
  registry_.SetDefaultString(kKey, text);
  ASSERT_TRUE(Read(260));
  EXPECT_EQ(std::string(dest_), text);
}

TEST_F(ReadRegistryStringTest, ValueLongerThan256BytesCountsAsMissing) {
  registry_.SetDefaultString(kKey, std::string(256, 'a'));
  EXPECT_FALSE(Read(260));
  EXPECT_STREQ(dest_, "");
}

// --- capacity ---

TEST_F(ReadRegistryStringTest, ValueLargerThanTheCapacityIsTruncatedAndTerminated) {
  registry_.SetDefaultString(kKey, "D:\\Apps\\Tool\\tool.exe");
  ASSERT_TRUE(Read(8));
  EXPECT_STREQ(dest_, "D:\\Apps");
  EXPECT_EQ(dest_[8], 'x') << "wrote past the capacity";
}

TEST_F(ReadRegistryStringTest, ValueThatFillsTheCapacityExactlyIsKeptWhole) {
  registry_.SetDefaultString(kKey, "abc");  // 4 bytes with the zero
  ASSERT_TRUE(Read(4));
  EXPECT_STREQ(dest_, "abc");
  EXPECT_EQ(dest_[4], 'x');
}

TEST_F(ReadRegistryStringTest, CapacityOfOneGivesAnEmptyString) {
  registry_.SetDefaultString(kKey, "abc");
  ASSERT_TRUE(Read(1));
  EXPECT_EQ(dest_[0], '\0');
  EXPECT_EQ(dest_[1], 'x');
}

// --- data without a terminating zero ---

TEST_F(ReadRegistryStringTest, DataWithoutATerminatingZeroIsTerminatedAfterIt) {
  registry_.SetValue(kKey, "", REG_BINARY, "D:\\Apps", 7);
  ASSERT_TRUE(Read(260));
  EXPECT_STREQ(dest_, "D:\\Apps");
}

TEST_F(ReadRegistryStringTest, UnterminatedDataFillingTheQueryBufferLosesItsLastByte) {
  std::string data(256, 'b');
  registry_.SetValue(kKey, "", REG_BINARY, data.data(), 256);
  ASSERT_TRUE(Read(260));
  EXPECT_EQ(std::string(dest_), std::string(255, 'b'));
}

TEST_F(ReadRegistryStringTest, UnterminatedDataAsLongAsTheCapacityStaysInside) {
  registry_.SetValue(kKey, "", REG_BINARY, "abcde", 5);
  ASSERT_TRUE(Read(5));
  EXPECT_STREQ(dest_, "abcd");
  EXPECT_EQ(dest_[5], 'x') << "wrote past the capacity";
}

TEST_F(ReadRegistryStringTest, TypeOfTheValueIsNotExamined) {
  registry_.SetValue(kKey, "", REG_EXPAND_SZ, "%SystemRoot%", 13);
  ASSERT_TRUE(Read(260));
  EXPECT_STREQ(dest_, "%SystemRoot%");
}

// --- empty values ---

TEST_F(ReadRegistryStringTest, EmptyStringValueIsFoundAndEmpty) {
  registry_.SetDefaultString(kKey, "");
  EXPECT_TRUE(Read(260));
  EXPECT_STREQ(dest_, "");
}

TEST_F(ReadRegistryStringTest, ValueWithoutAnyDataIsFoundAndEmpty) {
  registry_.SetValue(kKey, "", REG_BINARY, "", 0);
  EXPECT_TRUE(Read(260));
  EXPECT_STREQ(dest_, "");
}

}  // namespace
