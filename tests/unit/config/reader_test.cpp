// Character reader: the plain/scrambled decision on the first byte, the
// rolling key, and end of file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/config_reader.h"
#include "support/temp_config_file.h"

namespace sfx {
namespace {

using test::TempConfigFile;

// Reads every character of `reader` until end of file.
std::vector<int> ReadAll(ConfigReader& reader) {
  std::vector<int> out;
  for (int c = ReadConfigChar(reader); c != EOF; c = ReadConfigChar(reader)) out.push_back(c);
  return out;
}

// Opens `file` as the stream of a fresh reader.
struct OpenReader {
  explicit OpenReader(const TempConfigFile& file) : stream(std::fopen(file.path().c_str(), "rb")) {
    reader.stream = stream;
  }
  ~OpenReader() {
    if (stream != nullptr) std::fclose(stream);
  }
  OpenReader(const OpenReader&) = delete;
  OpenReader& operator=(const OpenReader&) = delete;
  std::FILE* stream;
  ConfigReader reader;
};

std::vector<int> Bytes(const std::string& s) {
  std::vector<int> out;
  for (const char c : s) out.push_back(static_cast<unsigned char>(c));
  return out;
}

TEST(ConfigReaderPlain, PrintableFirstByteDeliversBytesUnchanged) {
  // Carriage returns, 0x1A, NUL and high bytes after the first byte stay as they are.
  const std::string bytes("A\r\n\x1A\0\xFF z", 8);
  TempConfigFile file(bytes);
  OpenReader open(file);
  EXPECT_EQ(ReadAll(open.reader), Bytes(bytes));
  EXPECT_FALSE(open.reader.scrambled);
}

TEST(ConfigReaderPlain, BoundaryFirstBytesOfPrintableRangeArePlain) {
  for (const char first : {'\x20', '\x7E'}) {
    TempConfigFile file(std::string(1, first) + "xy");
    OpenReader open(file);
    EXPECT_EQ(ReadAll(open.reader), Bytes(std::string(1, first) + "xy")) << int(first);
    EXPECT_FALSE(open.reader.scrambled);
  }
}

TEST(ConfigReaderPlain, EmptyFileLeavesStateAsItStarted) {
  TempConfigFile file("");
  OpenReader open(file);
  EXPECT_EQ(ReadConfigChar(open.reader), EOF);
  EXPECT_TRUE(open.reader.first_byte_pending);
  EXPECT_FALSE(open.reader.scrambled);
  EXPECT_EQ(open.reader.key, 0);
}

TEST(ConfigReaderPlain, EndOfFilePersistsEvenWhenTheFileGrows) {
  TempConfigFile file("ab");
  OpenReader open(file);
  EXPECT_EQ(ReadAll(open.reader), Bytes("ab"));
  file.Append("cd");
  EXPECT_EQ(ReadConfigChar(open.reader), EOF);
  EXPECT_EQ(ReadConfigChar(open.reader), EOF);
}

// Expected characters of a scrambled file: byte i XOR (k0 + 15 i) mod 256.
std::vector<int> Descramble(const std::string& bytes) {
  std::vector<int> out;
  const int k0 = static_cast<unsigned char>(bytes[0]) ^ 0x20;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out.push_back(static_cast<unsigned char>(bytes[i]) ^ static_cast<int>((k0 + 15 * i) % 256));
  }
  return out;
}

TEST(ConfigReaderScrambled, NonPrintableFirstBytesMarkTheFileScrambled) {
  // A tab, a carriage return, a line feed, other controls, DEL and the first
  // byte of a UTF-8 byte-order mark all count as a scramble marker.
  const std::string tail = "WIN95 \"a.dll\"\n";
  for (const int first : {0x09, 0x0D, 0x0A, 0x00, 0x01, 0x1F, 0x7F, 0x80, 0xEF, 0xFF}) {
    const std::string bytes = std::string(1, static_cast<char>(first)) + tail;
    TempConfigFile file(bytes);
    OpenReader open(file);
    const std::vector<int> got = ReadAll(open.reader);
    EXPECT_TRUE(open.reader.scrambled) << first;
    ASSERT_EQ(got.size(), bytes.size()) << first;
    EXPECT_EQ(got[0], ' ') << first;
    EXPECT_EQ(got, Descramble(bytes)) << first;
    EXPECT_NE(got, Bytes(bytes)) << first;
  }
}

TEST(ConfigReaderScrambled, KeyStepsByFifteenAndWrapsModulo256) {
  // 40 bytes take the key past 255 at least twice.
  std::string bytes(1, '\x05');
  for (int i = 1; i < 40; ++i) bytes.push_back(static_cast<char>(0x41 + i));
  TempConfigFile file(bytes);
  OpenReader open(file);
  const std::vector<int> got = ReadAll(open.reader);
  ASSERT_EQ(got.size(), 40u);
  const int k0 = 0x05 ^ 0x20;
  EXPECT_EQ(got[1], (0x42 ^ (k0 + 15)) & 0xFF);
  EXPECT_EQ(got[2], (0x43 ^ (k0 + 30)) & 0xFF);
  EXPECT_EQ(got[20], (0x55 ^ ((k0 + 300) % 256)));
  EXPECT_EQ(got, Descramble(bytes));
}

TEST(ConfigReaderScrambled, ADecisionOnTheFirstByteIsNeverRevised) {
  // A plain file stays plain although later bytes are not printable.
  TempConfigFile plain(std::string("a\x01\xEF", 3));
  OpenReader open_plain(plain);
  EXPECT_EQ(ReadAll(open_plain.reader), Bytes(std::string("a\x01\xEF", 3)));
  EXPECT_FALSE(open_plain.reader.scrambled);
}

}  // namespace
}  // namespace sfx
