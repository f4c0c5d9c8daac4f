// Scrambler: its output is read back by the reader as the original text.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "config/config_reader.h"
#include "config/config_scrambler.h"
#include "support/temp_config_file.h"

namespace sfx {
namespace {

using test::TempConfigFile;

std::string ReadBack(const std::string& bytes) {
  TempConfigFile file(bytes);
  std::FILE* stream = std::fopen(file.path().c_str(), "rb");
  EXPECT_NE(stream, nullptr);
  ConfigReader reader;
  reader.stream = stream;
  std::string out;
  for (int c = ReadConfigChar(reader); c != EOF; c = ReadConfigChar(reader)) out.push_back(static_cast<char>(c));
  std::fclose(stream);
  return out;
}

std::string AllByteValues() {
  std::string s;
  for (int i = 0; i < 600; ++i) s.push_back(static_cast<char>(i % 256));
  return s;
}

TEST(ConfigScrambler, EveryMarkerRoundTripsThroughTheReader) {
  const std::string plain = AllByteValues();
  for (int marker = 0; marker < 256; ++marker) {
    if (!IsScrambleMarker(static_cast<std::uint8_t>(marker))) continue;
    const std::string scrambled = ScrambleConfig(plain, static_cast<std::uint8_t>(marker));
    ASSERT_EQ(scrambled.size(), plain.size() + 1);
    EXPECT_EQ(static_cast<unsigned char>(scrambled[0]), marker);
    EXPECT_EQ(ReadBack(scrambled), " " + plain) << marker;
  }
}

TEST(ConfigScrambler, OutputDiffersFromThePlainText) {
  const std::string plain = "PRODUCT_NAME \"Mivor\"\n";
  EXPECT_EQ(ScrambleConfig(plain).find("Mivor"), std::string::npos);
}

TEST(ConfigScrambler, EmptyTextGivesOnlyTheMarker) {
  EXPECT_EQ(ScrambleConfig("", 0x01), std::string(1, '\x01'));
  EXPECT_EQ(ReadBack(ScrambleConfig("", 0x01)), " ");
}

TEST(ConfigScrambler, PrintableMarkersAreRefused) {
  EXPECT_FALSE(IsScrambleMarker(0x20));
  EXPECT_FALSE(IsScrambleMarker(0x7E));
  EXPECT_TRUE(IsScrambleMarker(0x1F));
  EXPECT_TRUE(IsScrambleMarker(0x7F));
  EXPECT_THROW(ScrambleConfig("x", 'A'), std::invalid_argument);
  EXPECT_THROW(ScrambleConfig("x", 0x20), std::invalid_argument);
}

}  // namespace
}  // namespace sfx
