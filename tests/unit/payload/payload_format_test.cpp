// Payload block header and the bound on its unpacked size, image
// acceptance rules in their order, the directory walk, images that point
// outside themselves, entries that share data, and entry names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "payload/data_overlap.h"
#include "payload/image_directory_cursor.h"
#include "payload/payload_format.h"
#include "support/decode_stream.h"
#include "support/payload_samples.h"
#include "support/stream_builder.h"

namespace sfx {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::ReferenceCrc;
using test::SealDirectory;
using test::SealHeader;

struct TestFile {
  std::string name;
  std::string data;
};

// Lays out header, directory (entries, then the 0 word) and data, with
// every CRC correct and data_end at the end of the image.
Bytes BuildImage(const std::vector<TestFile>& files) {
  Bytes dir;
  std::uint32_t dir_size = 4;
  for (const auto& f : files) dir_size += 24 + static_cast<std::uint32_t>(f.name.size()) + 1;
  std::uint32_t data_at = 52 + dir_size;
  Bytes data;
  for (const auto& f : files) {
    std::uint8_t fixed[24] = {};
    StoreLE32(fixed, static_cast<std::uint32_t>(f.name.size() + 1));
    StoreLE32(fixed + 4, ReferenceCrc(reinterpret_cast<const std::uint8_t*>(f.data.data()), f.data.size()));
    StoreLE32(fixed + 8, static_cast<std::uint32_t>(f.data.size()));
    StoreLE32(fixed + 12, data_at + static_cast<std::uint32_t>(data.size()));
    StoreLE32(fixed + 16, 0xAAAAAAAAu);
    StoreLE32(fixed + 20, 0xBBBBBBBBu);
    dir.insert(dir.end(), fixed, fixed + 24);
    dir.insert(dir.end(), f.name.begin(), f.name.end());
    dir.push_back(0);
    data.insert(data.end(), f.data.begin(), f.data.end());
  }
  dir.insert(dir.end(), 4, 0);
  Bytes image(52, 0);
  std::memcpy(image.data() + 4, "SFX-IMAGE-SIGNATURE-1", 22);
  for (int i = 0; i < 6; ++i) image[0x1A + i] = static_cast<std::uint8_t>(0x11 * (i + 1));
  StoreLE32(image.data() + 0x20, dir_size);
  StoreLE32(image.data() + 0x24, 52);
  StoreLE32(image.data() + 0x28, ReferenceCrc(dir.data(), dir.size()));
  StoreLE32(image.data() + 0x2C, 52 + dir_size + static_cast<std::uint32_t>(data.size()));
  StoreLE32(image.data() + 0x30, 0x12345678u);
  StoreLE32(image.data(), ReferenceCrc(image.data() + 4, 48));
  image.insert(image.end(), dir.begin(), dir.end());
  image.insert(image.end(), data.begin(), data.end());
  return image;
}

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildCrcTable(table_); }

  ImageStatus Check(const Bytes& image) const {
    return PayloadImageView(image.data(), image.size(), table_).CheckHeader();
  }

  // Walks the whole directory with the directory cursor, checking each
  // entry's data, and returns the first failure (or kOk) with the names seen.
  ImageStatus Walk(const Bytes& image, std::vector<std::string>* names = nullptr) const {
    PayloadImageView view(image.data(), image.size(), table_);
    ImageStatus status = view.CheckHeader();
    if (status != ImageStatus::kOk) return status;
    ImageDirectoryCursor cursor(view);
    ImageEntry entry;
    while (cursor.Next(entry)) {
      status = view.CheckEntryData(entry);
      if (status != ImageStatus::kOk) return status;
      if (names != nullptr) names->push_back(entry.name);
    }
    return cursor.status();
  }

  CrcTable table_{};
};

// --- The 8-byte block header ---

TEST(EmbeddedPayloadTest, ReadsSizesAndStream) {
  Bytes block = {3, 0, 0, 0, 0x10, 0x20, 0, 0, 'a', 'b', 'c'};
  EmbeddedPayload p;
  ASSERT_TRUE(ParseEmbeddedPayload(block.data(), block.size(), p));
  EXPECT_EQ(p.packed_size, 3u);
  EXPECT_EQ(p.unpacked_size, 0x2010u);
  EXPECT_EQ(p.stream, block.data() + 8);
}

TEST(EmbeddedPayloadTest, IgnoresBytesAfterTheStream) {
  Bytes block = {1, 0, 0, 0, 4, 0, 0, 0, 'a', 'x', 'y'};
  EmbeddedPayload p;
  EXPECT_TRUE(ParseEmbeddedPayload(block.data(), block.size(), p));
  EXPECT_EQ(p.packed_size, 1u);
}

TEST(EmbeddedPayloadTest, RefusesHeadersThatDoNotFit) {
  EmbeddedPayload p;
  Bytes short_header = {0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(ParseEmbeddedPayload(short_header.data(), short_header.size(), p));
  Bytes long_stream = {4, 0, 0, 0, 0, 0, 0, 0, 'a', 'b', 'c'};
  EXPECT_FALSE(ParseEmbeddedPayload(long_stream.data(), long_stream.size(), p));
  Bytes huge = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  EXPECT_FALSE(ParseEmbeddedPayload(huge.data(), huge.size(), p));
  Bytes empty_stream = {0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(ParseEmbeddedPayload(empty_stream.data(), empty_stream.size(), p));
}

// --- The bound on the unpacked size ---

// The stream that yields the most bytes per bit: one long match of the
// longest length at a far distance, then nothing but 1-bit repeats of it.
// Decoded into a buffer larger than the bound, it must still stop within it.
TEST(UnpackedSizeBoundTest, TheDensestStreamStaysWithinTheBound) {
  test::Lengths literal(kLiteralSymbols, 0);
  literal[kSymbolRepeatPrevious] = 1;
  literal[kSymbolFirstLong + kLengthCodes - 1] = 1;
  test::Lengths distance(kDistanceSymbols, 0);
  distance[kDistanceCodes - 1] = 1;
  test::StreamBuilder b;
  b.LzTables(literal, distance, test::Lengths(kRepeatSymbols, 0));
  b.LongMatch(kMaxStepOutput, kMaxDistance);
  for (int i = 0; i < 20000; ++i) b.Literal(kSymbolRepeatPrevious);
  const test::Bytes stream = b.Finish();

  const std::uint64_t bound = MaxUnpackedSize(static_cast<std::uint32_t>(stream.size()));
  const test::DecodeResult result = test::DecodeStored(test::Scramble(stream), bound + 4096);
  std::uint64_t produced = 0;
  for (std::uint32_t n : result.reports) produced += n;
  EXPECT_LE(produced, bound);
  EXPECT_GT(produced, bound * 9 / 10);  // the bound is close to what a stream can reach
}

TEST(UnpackedSizeBoundTest, RefusesMoreThanTheStreamCanHold) {
  EXPECT_EQ(MaxUnpackedSize(1), 2080u);
  EXPECT_TRUE(UnpackedSizeFits({1, 2080, nullptr}));
  EXPECT_FALSE(UnpackedSizeFits({1, 2081, nullptr}));
  EXPECT_FALSE(UnpackedSizeFits({0, 0xFFFFFFFFu, nullptr}));  // 8 bytes announcing 4 GiB
  EXPECT_TRUE(UnpackedSizeFits({0xFFFFFFFFu, 0xFFFFFFFFu, nullptr}));
}

// --- The header checks and their order ---

TEST_F(ImageTest, IntactImageIsAcceptedAndWalkedInOrder) {
  const Bytes image = BuildImage({{"Setup.exe", "MZ program"}, {"sub\\Setup.cfg", "config"}, {"empty", ""}});
  std::vector<std::string> names;
  EXPECT_EQ(Walk(image, &names), ImageStatus::kOk);
  EXPECT_EQ(names, (std::vector<std::string>{"Setup.exe", "sub\\Setup.cfg", "empty"}));
}

TEST_F(ImageTest, ImageShorterThanItsHeaderIsTooSmall) {
  Bytes image = BuildImage({});
  image.resize(51);
  EXPECT_EQ(Check(image), ImageStatus::kTooSmall);
  EXPECT_EQ(Check(Bytes{}), ImageStatus::kTooSmall);
}

TEST_F(ImageTest, SignatureNeedsItsNul) {
  Bytes image = BuildImage({});
  image[4 + 21] = '!';
  SealHeader(image);
  EXPECT_EQ(Check(image), ImageStatus::kBadSignature);
}

TEST_F(ImageTest, SignatureIsCheckedBeforeTheHeaderCrc) {
  Bytes image = BuildImage({});
  image[4] = 's';  // header CRC now wrong as well
  EXPECT_EQ(Check(image), ImageStatus::kBadSignature);
}

TEST_F(ImageTest, EveryHeaderByteAfterTheSignatureIsCovered) {
  const Bytes intact = BuildImage({{"a", "1"}});
  for (std::size_t at = 0x1A; at < 0x34; ++at) {
    Bytes image = intact;
    image[at] ^= 0x40;
    EXPECT_EQ(Check(image), ImageStatus::kBadHeaderCrc) << "byte " << at;
  }
  for (std::size_t at = 0; at < 4; ++at) {
    Bytes image = intact;
    image[at] ^= 0x01;
    EXPECT_EQ(Check(image), ImageStatus::kBadHeaderCrc) << "crc byte " << at;
  }
}

TEST_F(ImageTest, DirectoryCrcIsChecked) {
  Bytes image = BuildImage({{"a", "1"}});
  image[52 + 24] = 'b';  // the name, inside the CRC span
  EXPECT_EQ(Check(image), ImageStatus::kBadDirectoryCrc);
}

TEST_F(ImageTest, DirectoryCrcCoversExactlyItsLength) {
  Bytes image = BuildImage({{"a", "1"}});
  StoreLE32(image.data() + 0x20, 10);
  SealDirectory(image);
  image[52 + 10] ^= 0xFF;  // just past the covered span
  EXPECT_EQ(Check(image), ImageStatus::kOk);
  image[52 + 9] ^= 0xFF;
  EXPECT_EQ(Check(image), ImageStatus::kBadDirectoryCrc);
}

TEST_F(ImageTest, DirectorySpanOutsideTheImageIsCorrupt) {
  Bytes image = BuildImage({{"a", "1"}});
  StoreLE32(image.data() + 0x20, static_cast<std::uint32_t>(image.size()) - 52 + 1);
  SealHeader(image);
  EXPECT_EQ(Check(image), ImageStatus::kDirectoryOutOfImage);
}

TEST_F(ImageTest, DirectorySpanThatWrapsIn32BitsIsCorrupt) {
  Bytes image = BuildImage({{"a", "1"}});
  // 0xFFFFFFF0 + 0x20 wraps to 0x10, which a 32-bit sum would let through.
  StoreLE32(image.data() + 0x24, 0xFFFFFFF0u);
  StoreLE32(image.data() + 0x20, 0x20u);
  SealHeader(image);
  EXPECT_EQ(Check(image), ImageStatus::kDirectoryOutOfImage);
}

TEST_F(ImageTest, SpanEndingExactlyAtTheImageEndIsInside) {
  Bytes image = BuildImage({{"a", "1"}});
  StoreLE32(image.data() + 0x20, static_cast<std::uint32_t>(image.size()) - 52);
  SealDirectory(image);
  EXPECT_EQ(Check(image), ImageStatus::kOk);
}

// --- The directory walk ---

TEST_F(ImageTest, DirectoryStartingWithZeroIsEmpty) {
  const Bytes image = BuildImage({});
  PayloadImageView view(image.data(), image.size(), table_);
  ASSERT_EQ(view.CheckHeader(), ImageStatus::kOk);
  ImageEntry entry;
  bool at_end = false;
  std::uint32_t next = 0;
  EXPECT_EQ(view.ReadEntry(view.Header().dir_offset, entry, &at_end, &next), ImageStatus::kOk);
  EXPECT_TRUE(at_end);
}

TEST_F(ImageTest, EntryFieldsAndNextOffsetAreRead) {
  const Bytes image = BuildImage({{"ab", "xyz"}, {"c", ""}});
  PayloadImageView view(image.data(), image.size(), table_);
  ImageEntry entry;
  bool at_end = true;
  std::uint32_t next = 0;
  ASSERT_EQ(view.ReadEntry(52, entry, &at_end, &next), ImageStatus::kOk);
  EXPECT_FALSE(at_end);
  EXPECT_EQ(entry.name_area_length, 3u);
  EXPECT_EQ(entry.data_size, 3u);
  EXPECT_EQ(entry.reserved_a, 0xAAAAAAAAu);
  EXPECT_EQ(entry.reserved_b, 0xBBBBBBBBu);
  EXPECT_STREQ(entry.name, "ab");
  EXPECT_EQ(next, 52u + 24 + 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data() + entry.data_offset), entry.data_size), "xyz");
}

TEST_F(ImageTest, EndWordPastTheImageIsCorrupt) {
  const Bytes image = BuildImage({});
  PayloadImageView view(image.data(), image.size(), table_);
  ImageEntry entry;
  bool at_end = false;
  std::uint32_t next = 0;
  EXPECT_EQ(view.ReadEntry(static_cast<std::uint32_t>(image.size()) - 3, entry, &at_end, &next),
            ImageStatus::kEntryOutOfImage);
  EXPECT_EQ(view.ReadEntry(0xFFFFFFFEu, entry, &at_end, &next), ImageStatus::kEntryOutOfImage);
  EXPECT_EQ(view.ReadEntry(static_cast<std::uint32_t>(image.size()) - 4, entry, &at_end, &next), ImageStatus::kOk);
  EXPECT_TRUE(at_end);
}

TEST_F(ImageTest, NameAreaPastTheImageIsCorrupt) {
  for (std::uint32_t area : {1000u, 0xFFFFFFF0u}) {
    Bytes image = BuildImage({{"a", "1"}});
    StoreLE32(image.data() + 52, area);
    SealDirectory(image);
    EXPECT_EQ(Walk(image), ImageStatus::kEntryOutOfImage) << area;
  }
}

TEST_F(ImageTest, FixedPartCutByTheImageEndIsCorrupt) {
  Bytes image = BuildImage({});
  // A non-zero word in the last four bytes: its fixed part cannot fit.
  StoreLE32(image.data() + image.size() - 4, 1);
  PayloadImageView view(image.data(), image.size(), table_);
  ImageEntry entry;
  bool at_end = false;
  std::uint32_t next = 0;
  EXPECT_EQ(view.ReadEntry(static_cast<std::uint32_t>(image.size()) - 4, entry, &at_end, &next),
            ImageStatus::kEntryOutOfImage);
}

TEST_F(ImageTest, NameWithoutNulInItsAreaIsCorrupt) {
  Bytes image = BuildImage({{"abc", "1"}});
  image[52 + 24 + 3] = 'd';  // the NUL becomes a letter
  SealDirectory(image);
  EXPECT_EQ(Walk(image), ImageStatus::kEntryOutOfImage);
}

TEST_F(ImageTest, BytesAfterTheNameInsideTheAreaAreAllowed) {
  Bytes image = BuildImage({{"abc", "1"}});
  // Shorten the name in place: "a\0c\0" keeps the area length 4.
  image[52 + 24 + 1] = 0;
  SealDirectory(image);
  std::vector<std::string> names;
  EXPECT_EQ(Walk(image, &names), ImageStatus::kOk);
  EXPECT_EQ(names, std::vector<std::string>{"a"});
}

// --- The data checks of each entry ---

TEST_F(ImageTest, DataEndingExactlyAtDataEndIsAccepted) {
  const Bytes image = BuildImage({{"a", "hello"}});
  // data_end is the image size and the only data ends there.
  EXPECT_EQ(LoadLE32(image.data() + 0x2C), image.size());
  EXPECT_EQ(Walk(image), ImageStatus::kOk);
}

TEST_F(ImageTest, DataOneBytePastDataEndFails) {
  Bytes image = BuildImage({{"a", "hello"}});
  StoreLE32(image.data() + 0x2C, static_cast<std::uint32_t>(image.size()) - 1);
  SealHeader(image);
  EXPECT_EQ(Walk(image), ImageStatus::kDataBeyondEnd);
}

TEST_F(ImageTest, DataBoundIsCheckedBeforeItsCrc) {
  Bytes image = BuildImage({{"a", "hello"}});
  StoreLE32(image.data() + 0x2C, static_cast<std::uint32_t>(image.size()) - 1);
  SealHeader(image);
  image.back() ^= 0xFF;  // data CRC wrong too
  EXPECT_EQ(Walk(image), ImageStatus::kDataBeyondEnd);
}

TEST_F(ImageTest, DataSumThatWrapsIn32BitsFailsTheBound) {
  Bytes image = BuildImage({{"a", "hello"}});
  StoreLE32(image.data() + 52 + 8, 2);             // data_size
  StoreLE32(image.data() + 52 + 12, 0xFFFFFFFFu);  // data_offset: sum wraps to 1
  SealDirectory(image);
  EXPECT_EQ(Walk(image), ImageStatus::kDataBeyondEnd);
}

TEST_F(ImageTest, DataInsideDataEndButOutsideTheImageIsCorrupt) {
  Bytes image = BuildImage({{"a", "hello"}});
  StoreLE32(image.data() + 0x2C, 0x7FFFFFFFu);
  SealHeader(image);
  StoreLE32(image.data() + 52 + 12, static_cast<std::uint32_t>(image.size()) - 2);  // 5 bytes from 2 before the end
  SealDirectory(image);
  EXPECT_EQ(Walk(image), ImageStatus::kDataOutOfImage);
}

TEST_F(ImageTest, DataCrcIsChecked) {
  Bytes image = BuildImage({{"a", "hello"}, {"b", "world"}});
  image.back() ^= 0x01;
  std::vector<std::string> names;
  EXPECT_EQ(Walk(image, &names), ImageStatus::kBadDataCrc);
  EXPECT_EQ(names, std::vector<std::string>{"a"}) << "the first entry passes before the second fails";
}

TEST_F(ImageTest, EmptyEntryPassesOnlyWithTheSeedAsItsCrc) {
  Bytes image = BuildImage({{"a", ""}});
  EXPECT_EQ(LoadLE32(image.data() + 52 + 4), kPayloadSeed);
  EXPECT_EQ(Walk(image), ImageStatus::kOk);
  StoreLE32(image.data() + 52 + 4, kPayloadSeed ^ 1);
  SealDirectory(image);
  EXPECT_EQ(Walk(image), ImageStatus::kBadDataCrc);
}

// --- Entries that share data ---

TEST_F(ImageTest, FindsEntriesWhoseDataOverlap) {
  struct Case {
    const char* what;
    std::size_t index;    // the entry that is moved ...
    std::uint32_t shift;  // ... to the data of entry 0 plus this many bytes
    std::uint32_t size;   // ... with this size
    DataOverlap::Result result;
  };
  // Entry 0 holds "aaaa", entry 1 "bbbb", entry 2 "cccc", in this order.
  const Case cases[] = {
      {"own ranges", 1, 4, 4, DataOverlap::Result::kNone},
      {"empty data at a used offset", 2, 0, 0, DataOverlap::Result::kNone},
      {"the same range twice", 2, 0, 4, DataOverlap::Result::kNone},
      {"the start of a range, shorter", 2, 0, 3, DataOverlap::Result::kFound},
      {"the last byte of one, the first of the next", 2, 3, 2, DataOverlap::Result::kFound},
      {"one byte inside another", 2, 6, 1, DataOverlap::Result::kFound},
  };
  for (const Case& c : cases) {
    Bytes image = BuildImage({{"a", "aaaa"}, {"b", "bbbb"}, {"c", "cccc"}});
    const std::uint32_t first_data = static_cast<std::uint32_t>(image.size()) - 12;
    test::PointEntryAt(image, c.index, first_data + c.shift, c.size);
    ASSERT_EQ(Walk(image), ImageStatus::kOk) << c.what;
    const DataOverlap overlap = FindDataOverlap(PayloadImageView(image.data(), image.size(), table_));
    EXPECT_EQ(overlap.result, c.result) << c.what;
    if (c.result == DataOverlap::Result::kFound) {
      EXPECT_EQ(overlap.first, c.shift < 4 ? 0u : 1u) << c.what;
      EXPECT_EQ(overlap.second, c.index) << c.what;
    }
  }
}

TEST(ImageStatusTextTest, EveryStatusHasItsOwnText) {
  std::vector<std::string> texts;
  for (int s = 0; s <= static_cast<int>(ImageStatus::kBadDataCrc); ++s) {
    texts.push_back(ImageStatusText(static_cast<ImageStatus>(s)));
    EXPECT_FALSE(texts.back().empty());
  }
  for (std::size_t i = 0; i < texts.size(); ++i)
    for (std::size_t j = i + 1; j < texts.size(); ++j) EXPECT_NE(texts[i], texts[j]);
}

// --- Entry names ---

TEST(SafeEntryNameTest, AcceptsPlainRelativeNames) {
  for (const char* name :
       {"Setup.exe", "Setup.cfg", "data\\file.bin", "a\\b\\c", "x..y", ".hidden", "a b", "\xE4rger.txt"})
    EXPECT_TRUE(IsSafeEntryName(name)) << name;
}

TEST(SafeEntryNameTest, RefusesNamesThatLeaveTheFolder) {
  for (const char* name : {"",
                           "\\abs",
                           "a/b",
                           "/abs",
                           "C:x",
                           "a\\..\\b",
                           "..",
                           ".",
                           "a\\.",
                           "a\\.\\b",
                           "a\\\\b",
                           "a\\",
                           "name.",
                           "name ",
                           "dir.\\x",
                           ". .",
                           "..\\x",
                           "a\x01"
                           "b",
                           "tab\there",
                           "file:stream"})
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
  EXPECT_FALSE(IsSafeEntryName(nullptr));
}

TEST(DeviceNameTest, RefusesEveryComponentThatOpensADevice) {
  struct Case {
    const char* name;
    bool device;
  };
  const Case cases[] = {
      {"CON", true},          {"con", true},         {"Prn", true},         {"AUX", true},
      {"NUL", true},          {"nul.txt", true},     {"CON .txt", true},    {"aux ", true},
      {"NUL.tar.gz", true},   {"CONIN$", true},      {"conout$.log", true}, {"COM0", true},
      {"com9", true},         {"LPT0", true},        {"Lpt5.dat", true},    {"COM\xB9", true},
      {"COM\xB2", true},      {"LPT\xB3.txt", true}, {"sub\\NUL", true},    {"nul\\file.txt", true},
      {"a\\b\\com1.x", true}, {"CONSOLE", false},    {"NULL", false},       {"COM10", false},
      {"COM", false},         {"LPT\xB4", false},    {"xCON", false},       {"CO N", false},
      {"con_x.txt", false},   {"setup.exe", false},  {".nul", false},       {"sub\\console", false},
  };
  for (const Case& c : cases) EXPECT_EQ(HasDeviceNameComponent(c.name), c.device) << c.name;
}

TEST_F(ImageTest, TheCursorRefusesDeviceNames) {
  const Bytes image = BuildImage({{"Setup.exe", "MZ"}, {"sub\\LPT1.txt", "x"}});
  PayloadImageView view(image.data(), image.size(), table_);
  ImageDirectoryCursor cursor(view);
  ImageEntry entry;
  ASSERT_TRUE(cursor.Next(entry));
  EXPECT_EQ(cursor.CheckEntry(entry), ImageStatus::kOk);
  ASSERT_TRUE(cursor.Next(entry));
  EXPECT_EQ(cursor.CheckEntry(entry), ImageStatus::kDeviceName);
}

}  // namespace
}  // namespace sfx
