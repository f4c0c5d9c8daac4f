// The image builder: layout and seals checked against an independent CRC
// and the acceptance rules, entry data read back, and its refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "packer/image_builder.h"
#include "packer/pack_error.h"
#include "payload/crc32.h"
#include "payload/payload_format.h"
#include "support/payload_samples.h"

namespace {

using sfx::LoadLE32;

struct Walked {
  std::string name;
  std::vector<std::uint8_t> data;
  sfx::ImageStatus status;
};

// Walks a built image through the acceptance rules.
std::vector<Walked> Walk(const std::vector<std::uint8_t>& image) {
  sfx::CrcTable table;
  sfx::BuildCrcTable(table);
  const sfx::PayloadImageView view(image.data(), image.size(), table);
  EXPECT_EQ(view.CheckHeader(), sfx::ImageStatus::kOk);
  std::vector<Walked> out;
  std::uint32_t offset = view.Header().dir_offset;
  for (;;) {
    sfx::ImageEntry entry;
    bool at_end = false;
    std::uint32_t next = 0;
    EXPECT_EQ(view.ReadEntry(offset, entry, &at_end, &next), sfx::ImageStatus::kOk);
    if (at_end) return out;
    out.push_back({entry.name,
                   std::vector<std::uint8_t>(image.begin() + entry.data_offset,
                                             image.begin() + entry.data_offset + entry.data_size),
                   view.CheckEntryData(entry)});
    offset = next;
  }
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(ImageBuilderLayout, EmptyImageIsAHeaderAndATerminatingWord) {
  const std::vector<std::uint8_t> image = sfx::ImageBuilder().Build();
  ASSERT_EQ(image.size(), 56u);
  EXPECT_EQ(std::memcmp(image.data() + 4, "SFX-IMAGE-SIGNATURE-1\0", 22), 0);
  EXPECT_EQ(LoadLE32(image.data() + 0x20), 4u);   // dir_crc_length: the 0 word
  EXPECT_EQ(LoadLE32(image.data() + 0x24), 52u);  // dir_offset
  EXPECT_EQ(LoadLE32(image.data() + 52), 0u);
  EXPECT_EQ(LoadLE32(image.data() + 0x2C), 56u);  // data_end
  EXPECT_TRUE(Walk(image).empty());
}

TEST(ImageBuilderLayout, SealsMatchAnIndependentCrc) {
  sfx::ImageBuilder builder;
  builder.AddEntry("Setup.cfg", Bytes("VERSION_LO 1\n"));
  builder.AddEntry("bin\\tool.exe", sfx::test::NoiseBytes(1000, 7));
  const std::vector<std::uint8_t> image = builder.Build();
  EXPECT_EQ(LoadLE32(image.data()), sfx::test::ReferenceCrc(image.data() + 4, 48));
  const std::uint32_t dir_offset = LoadLE32(image.data() + 0x24);
  const std::uint32_t dir_length = LoadLE32(image.data() + 0x20);
  EXPECT_EQ(LoadLE32(image.data() + 0x28), sfx::test::ReferenceCrc(image.data() + dir_offset, dir_length));
  // The directory range ends with the terminating 0 word.
  EXPECT_EQ(LoadLE32(image.data() + dir_offset + dir_length - 4), 0u);
  // Each entry's data_crc is the seeded CRC of its data.
  std::uint32_t at = dir_offset;
  while (LoadLE32(image.data() + at) != 0) {
    const std::uint32_t size = LoadLE32(image.data() + at + 8);
    const std::uint32_t offset = LoadLE32(image.data() + at + 12);
    EXPECT_EQ(LoadLE32(image.data() + at + 4), sfx::test::ReferenceCrc(image.data() + offset, size));
    at += 24 + LoadLE32(image.data() + at);
  }
  EXPECT_EQ(at + 4, dir_offset + dir_length);
}

TEST(ImageBuilderLayout, ReservedFieldsAreZeroAndDataEndsTheImage) {
  sfx::ImageBuilder builder;
  builder.AddEntry("a", Bytes("xyz"));
  const std::vector<std::uint8_t> image = builder.Build();
  for (std::size_t i = 0x1A; i < 0x20; ++i) EXPECT_EQ(image[i], 0) << i;
  EXPECT_EQ(LoadLE32(image.data() + 0x30), 0u);
  EXPECT_EQ(LoadLE32(image.data() + 52 + 16), 0u);  // reserved_a
  EXPECT_EQ(LoadLE32(image.data() + 52 + 20), 0u);  // reserved_b
  EXPECT_EQ(LoadLE32(image.data() + 0x2C), image.size());
}

TEST(ImageBuilderLayout, NameAreasHoldTheNameAndANulPaddedToFourBytes) {
  sfx::ImageBuilder builder;
  builder.AddEntry("abc", Bytes("1"));   // 3 + NUL = 4
  builder.AddEntry("abcd", Bytes("2"));  // 4 + NUL -> 8
  const std::vector<std::uint8_t> image = builder.Build();
  EXPECT_EQ(LoadLE32(image.data() + 52), 4u);
  EXPECT_EQ(std::memcmp(image.data() + 52 + 24, "abc\0", 4), 0);
  const std::size_t second = 52 + 24 + 4;
  EXPECT_EQ(LoadLE32(image.data() + second), 8u);
  EXPECT_EQ(std::memcmp(image.data() + second + 24, "abcd\0\0\0\0", 8), 0);
}

TEST(ImageBuilderContent, EntriesReadBackInOrderWithTheirData) {
  const std::vector<std::uint8_t> big = sfx::test::NoiseBytes(70000, 3);
  sfx::ImageBuilder builder;
  builder.AddEntry("Setup.cfg", Bytes("cfg"));
  builder.AddEntry("Setup.exe", big);
  builder.AddEntry("empty.txt", {});
  builder.AddEntry(
      "Gr\xFC\xDF"
      "e\\\xE9t\xE9.txt",
      Bytes("latin"));
  EXPECT_EQ(builder.entry_count(), 4u);
  const std::vector<std::uint8_t> image = builder.Build();
  EXPECT_EQ(image.size(), builder.ImageSize());
  const std::vector<Walked> walked = Walk(image);
  ASSERT_EQ(walked.size(), 4u);
  EXPECT_EQ(walked[0].name, "Setup.cfg");
  EXPECT_EQ(walked[0].data, Bytes("cfg"));
  EXPECT_EQ(walked[1].name, "Setup.exe");
  EXPECT_EQ(walked[1].data, big);
  EXPECT_EQ(walked[2].name, "empty.txt");
  EXPECT_TRUE(walked[2].data.empty());
  EXPECT_EQ(walked[3].name,
            "Gr\xFC\xDF"
            "e\\\xE9t\xE9.txt");
  for (const Walked& w : walked) EXPECT_EQ(w.status, sfx::ImageStatus::kOk) << w.name;
}

TEST(ImageBuilderContent, EmptyEntryCarriesTheSeedAsItsCrc) {
  sfx::ImageBuilder builder;
  builder.AddEntry("empty", {});
  const std::vector<std::uint8_t> image = builder.Build();
  EXPECT_EQ(LoadLE32(image.data() + 52 + 4), sfx::kPayloadSeed);
  EXPECT_EQ(LoadLE32(image.data() + 52 + 8), 0u);
}

TEST(ImageBuilderContent, LoaderFillsTheEntryData) {
  sfx::ImageBuilder builder;
  builder.AddEntry("lazy.bin", 5, [](std::uint8_t* dst, std::size_t size) {
    ASSERT_EQ(size, 5u);
    std::memcpy(dst, "hello", 5);
  });
  const std::vector<Walked> walked = Walk(builder.Build());
  ASSERT_EQ(walked.size(), 1u);
  EXPECT_EQ(walked[0].data, Bytes("hello"));
}

TEST(ImageBuilderContent, AChangedDataByteFailsOnlyThatEntry) {
  sfx::ImageBuilder builder;
  builder.AddEntry("a", Bytes("first"));
  builder.AddEntry("b", Bytes("second"));
  std::vector<std::uint8_t> image = builder.Build();
  image[image.size() - 1] ^= 0x01;  // last byte of "second"
  const std::vector<Walked> walked = Walk(image);
  ASSERT_EQ(walked.size(), 2u);
  EXPECT_EQ(walked[0].status, sfx::ImageStatus::kOk);
  EXPECT_EQ(walked[1].status, sfx::ImageStatus::kBadDataCrc);
}

// Byte-identical data is stored once: its entries share offset and size
// and each still passes its CRC; data of the same size that differs is not.
TEST(ImageBuilderContent, IdenticalDataIsStoredOnce) {
  const std::vector<std::uint8_t> dll = sfx::test::NoiseBytes(5000, 7);
  std::vector<std::uint8_t> other = dll;
  other[4999] ^= 1;
  sfx::ImageBuilder builder;
  for (const char* name : {"a.dll", "x\\a.dll", "other.dll", "y\\z\\a.dll"})
    builder.AddEntry(name, std::string(name) == "other.dll" ? other : dll);
  const std::vector<std::uint8_t> image = builder.Build();
  EXPECT_EQ(image.size(), builder.ImageSize() - 2 * dll.size());
  EXPECT_EQ(LoadLE32(image.data() + sfx::kDataEndOffset), image.size());
  const std::vector<Walked> walked = Walk(image);
  ASSERT_EQ(walked.size(), 4u);
  for (const Walked& w : walked) {
    EXPECT_EQ(w.status, sfx::ImageStatus::kOk) << w.name;
    EXPECT_EQ(w.data, w.name == "other.dll" ? other : dll) << w.name;
  }
  // Directory entries: offsets of a.dll and its copies are equal, other.dll's differs.
  std::vector<std::uint32_t> offsets;
  for (std::size_t at = 52; offsets.size() < 4; at += 24 + LoadLE32(image.data() + at)) {
    EXPECT_EQ(LoadLE32(image.data() + at + sfx::kEntryDataSizeOffset), dll.size());
    offsets.push_back(LoadLE32(image.data() + at + sfx::kEntryDataOffsetOffset));
  }
  EXPECT_EQ(offsets[1], offsets[0]);
  EXPECT_EQ(offsets[3], offsets[0]);
  EXPECT_NE(offsets[2], offsets[0]);
}

TEST(ImageBuilderRefusals, UnsafeNames) {
  for (const char* name : {"", "..\\x", "\\x", "C:\\x", "a\\", "a/b", "ctl\x01"}) {
    sfx::ImageBuilder builder;
    EXPECT_THROW(builder.AddEntry(name, std::vector<std::uint8_t>{1}), sfx::PackError) << name;
    EXPECT_EQ(builder.entry_count(), 0u);
  }
}

TEST(ImageBuilderRefusals, NameWithANulInside) {
  sfx::ImageBuilder builder;
  EXPECT_THROW(builder.AddEntry(std::string("a\0b", 3), std::vector<std::uint8_t>{1}), sfx::PackError);
}

TEST(ImageBuilderRefusals, ImagesOfTwoGigabytesOrMoreBeforeAllocating) {
  // The decoder counts the output still due in a signed 32-bit integer, so
  // 2^31 - 1 bytes is the largest image an installer can unpack.
  bool loaded = false;
  auto loader = [&loaded](std::uint8_t*, std::size_t) { loaded = true; };
  const std::uint64_t overhead = 52 + 4 + 24 + 4;  // header, end word, entry, name area "a"
  sfx::ImageBuilder at_limit;
  at_limit.AddEntry("a", 0x7FFFFFFFu - overhead, loader);
  EXPECT_EQ(at_limit.ImageSize(), sfx::ImageBuilder::kMaxImageSize);
  sfx::ImageBuilder over;
  over.AddEntry("a", 0x80000000u - overhead, loader);
  EXPECT_EQ(over.ImageSize(), 0x80000000u);
  EXPECT_THROW(over.Build(), sfx::PackError);
  sfx::ImageBuilder far_over;
  far_over.AddEntry("a", 0x80000000u, loader);
  far_over.AddEntry("b", 0x7FFFFFFFu, loader);
  EXPECT_THROW(far_over.Build(), sfx::PackError);
  EXPECT_FALSE(loaded);
}

TEST(ImageBuilderRefusals, ASingleEntryTooLargeForTheSizeField) {
  sfx::ImageBuilder builder;
  builder.AddEntry("huge", std::uint64_t{1} << 40, [](std::uint8_t*, std::size_t) {});
  EXPECT_THROW(builder.Build(), sfx::PackError);
}

TEST(ImageBuilderRefusals, LoaderFailureStopsTheBuild) {
  sfx::ImageBuilder builder;
  builder.AddEntry("shrank", 10, [](std::uint8_t*, std::size_t) { throw sfx::PackError("file shrank"); });
  EXPECT_THROW(builder.Build(), sfx::PackError);
}

}  // namespace
