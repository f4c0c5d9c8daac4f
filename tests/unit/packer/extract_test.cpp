// Listing and extracting images: good images are written exactly; corrupt
// ones are refused at the point the installer would refuse them, and no
// file appears outside the target folder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "packer/image_builder.h"
#include "packer/image_extractor.h"
#include "packer/image_listing.h"
#include "packer/pack_error.h"
#include "payload/crc32.h"
#include "payload/payload_format.h"
#include "support/files.h"
#include "support/payload_samples.h"

namespace {

namespace fs = std::filesystem;
using sfx::test::ReadBytes;
using sfx::test::ScratchDir;
using sfx::test::U8Path;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

const sfx::CrcTable& Table() { return sfx::test::SharedCrcTable(); }

sfx::ExtractSummary Extract(const std::vector<std::uint8_t>& image, const fs::path& dir, bool replace = false) {
  return sfx::ExtractImage(sfx::PayloadImageView(image.data(), image.size(), Table()), dir, {}, {replace});
}

std::string ExtractError(const std::vector<std::uint8_t>& image, const fs::path& dir, bool replace = false) {
  try {
    Extract(image, dir, replace);
  } catch (const sfx::PackError& e) {
    return e.what();
  }
  return "";
}

// A listing with its entries collected, names as strings.
struct Listed : sfx::ImageListing {
  struct Entry : sfx::ListedEntry {
    std::string name;
  };
  std::vector<Entry> entries;
};

Listed List(const std::vector<std::uint8_t>& image) {
  Listed listed;
  const sfx::ImageListing summary = sfx::ListImage(sfx::PayloadImageView(image.data(), image.size(), Table()), {},
                                                   [&listed](const sfx::ListedEntry& entry) {
                                                     listed.entries.push_back({entry, entry.fields.name});
                                                   });
  static_cast<sfx::ImageListing&>(listed) = summary;
  return listed;
}

std::size_t CountFiles(const fs::path& dir) {
  std::size_t count = 0;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
    if (!it->is_directory()) ++count;
  }
  return count;
}

// Three entries; the name of the second is "sub\x.bin" (same length as
// "..\x.bin", which tests patch in).
std::vector<std::uint8_t> ThreeEntryImage() {
  sfx::ImageBuilder builder;
  builder.AddEntry("first.txt", Bytes("one"));
  builder.AddEntry("ab\\x.bin", sfx::test::NoiseBytes(3000, 5));
  builder.AddEntry(
      "Gr\xFC\xDF"
      "e.txt",
      Bytes("three"));
  return builder.Build();
}

// Offset of the name area of the entry whose name is `name`.
std::size_t NameOffset(const std::vector<std::uint8_t>& image, const char* name) {
  const std::string needle(name, std::strlen(name) + 1);
  const auto it = std::search(image.begin(), image.end(), needle.begin(), needle.end());
  EXPECT_NE(it, image.end());
  return static_cast<std::size_t>(it - image.begin());
}

TEST(ImageExtraction, WritesEveryEntryWithItsFolders) {
  ScratchDir dir;
  const std::vector<std::uint8_t> image = ThreeEntryImage();
  const sfx::ExtractSummary summary = Extract(image, dir.path() / "out");
  EXPECT_EQ(summary.files, 3u);
  EXPECT_EQ(summary.bytes, 3u + 3000u + 5u);
  EXPECT_EQ(ReadBytes(dir.path() / "out" / "first.txt"), Bytes("one"));
  EXPECT_EQ(ReadBytes(dir.path() / "out" / "ab" / "x.bin"), sfx::test::NoiseBytes(3000, 5));
  EXPECT_EQ(ReadBytes(dir.path() / "out" /
                      U8Path("Gr\xC3\xBC\xC3\x9F"
                             "e.txt")),
            Bytes("three"));
}

TEST(ImageExtraction, WritesIntoAFolderWithFilesOnlyWhenToldToReplaceThem) {
  for (const bool replace : {false, true}) {
    ScratchDir dir;
    sfx::test::WriteText(dir.path() / "first.txt", "an older and longer content");
    const std::string error = ExtractError(ThreeEntryImage(), dir.path(), replace);
    EXPECT_EQ(error.find("is not empty") != std::string::npos, !replace) << error;
    EXPECT_EQ(ReadBytes(dir.path() / "first.txt"), Bytes(replace ? "one" : "an older and longer content"));
  }
}

TEST(ImageExtraction, EmptyDirectoryWritesNothing) {
  ScratchDir dir;
  const std::vector<std::uint8_t> image = sfx::ImageBuilder().Build();
  EXPECT_EQ(Extract(image, dir.path()).files, 0u);
  EXPECT_EQ(CountFiles(dir.path()), 0u);
}

TEST(ImageExtraction, HeaderFailureWritesNothing) {
  for (std::size_t at : {std::size_t{0}, std::size_t{4}, std::size_t{0x1C}, std::size_t{0x30}}) {
    ScratchDir dir;
    std::vector<std::uint8_t> image = ThreeEntryImage();
    image[at] ^= 0x10;
    EXPECT_NE(ExtractError(image, dir.path()).find("corrupt payload"), std::string::npos) << at;
    EXPECT_EQ(CountFiles(dir.path()), 0u) << at;
  }
}

TEST(ImageExtraction, DirectoryFailureWritesNothing) {
  ScratchDir dir;
  std::vector<std::uint8_t> image = ThreeEntryImage();
  image[NameOffset(image, "first.txt")] = 'F';  // directory changed, header left alone
  EXPECT_NE(ExtractError(image, dir.path()).find("corrupt payload"), std::string::npos);
  EXPECT_EQ(CountFiles(dir.path()), 0u);
}

TEST(ImageExtraction, DataFailureKeepsTheEarlierFilesOnly) {
  ScratchDir dir;
  std::vector<std::uint8_t> image = ThreeEntryImage();
  const std::uint32_t second_data = sfx::LoadLE32(image.data() + 52 + 24 + 12 + 12);
  image[second_data + 100] ^= 0xFF;
  EXPECT_NE(ExtractError(image, dir.path()).find("corrupt payload"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir.path() / "first.txt"));
  EXPECT_FALSE(fs::exists(dir.path() / "ab" / "x.bin"));
  EXPECT_EQ(CountFiles(dir.path()), 1u);
}

TEST(ImageExtraction, RefusesUnsafeNamesEvenWithValidSeals) {
  for (const char* evil : {"..\\x.bin", "C:\\x.bin", "\\\\x.bin", "ab/x.bin", "ab\\x.bi."}) {
    ScratchDir parent;
    const fs::path dir = parent.path() / "target";
    std::vector<std::uint8_t> image = ThreeEntryImage();
    std::memcpy(image.data() + NameOffset(image, "ab\\x.bin"), evil, 8);
    sfx::test::SealDirectory(image);
    EXPECT_NE(ExtractError(image, dir).find("unsafe entry name"), std::string::npos) << evil;
    EXPECT_FALSE(fs::exists(parent.path() / "x.bin")) << evil;
    EXPECT_EQ(CountFiles(parent.path()), 1u) << evil;  // only first.txt, inside the target
  }
}

TEST(ImageExtraction, RefusesDataBeyondDataEnd) {
  ScratchDir dir;
  std::vector<std::uint8_t> image = ThreeEntryImage();
  const std::uint32_t data_end = sfx::LoadLE32(image.data() + 0x2C);
  sfx::StoreLE32(image.data() + 0x2C, data_end - 1);  // the last entry now ends past it
  sfx::test::SealDirectory(image);
  EXPECT_NE(ExtractError(image, dir.path()).find("corrupt payload"), std::string::npos);
  EXPECT_EQ(CountFiles(dir.path()), 2u);
}

TEST(ImageExtraction, WritesSharedDataToEveryEntryButRefusesPartialOverlaps) {
  for (const std::uint32_t size : {3000u, 2999u}) {
    ScratchDir dir;
    std::vector<std::uint8_t> image = ThreeEntryImage();
    // The third entry now points at the second entry's bytes, all or less.
    sfx::test::PointEntryAt(image, 2, List(image).entries[1].fields.data_offset, size);
    const std::string error = ExtractError(image, dir.path());
    if (size == 3000u) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(ReadBytes(dir.path() / U8Path("Gr\xC3\xBC\xC3\x9F"
                                              "e.txt")),
                sfx::test::NoiseBytes(3000, 5));
    } else {
      EXPECT_NE(error.find("\"ab\\x.bin\" and \"Gr\xC3\xBC\xC3\x9F"
                           "e.txt\" overlap"),
                std::string::npos)
          << error;
      EXPECT_EQ(CountFiles(dir.path()), 0u);
    }
  }
}

TEST(ImageExtraction, RefusesRepeatedNamesBeforeWritingAnything) {
  ScratchDir dir;
  std::vector<std::uint8_t> image = ThreeEntryImage();
  // "Gr\xFC\xDF" "e.txt" again, in other letter case.
  std::memcpy(image.data() + NameOffset(image, "first.txt"),
              "GR\xDC\xDF"
              "E.TXT",
              9);
  sfx::test::SealDirectory(image);
  EXPECT_NE(ExtractError(image, dir.path())
                .find("\"Gr\xC3\xBC\xC3\x9F"
                      "e.txt\" appears more than once"),
            std::string::npos);
  EXPECT_EQ(CountFiles(dir.path()), 0u);
}

TEST(ImageExtraction, RefusesDeviceNames) {
  ScratchDir dir;
  std::vector<std::uint8_t> image = ThreeEntryImage();
  std::memcpy(image.data() + NameOffset(image, "ab\\x.bin"), "ab\\NUL.b", 8);
  sfx::test::SealDirectory(image);
  EXPECT_NE(ExtractError(image, dir.path()).find("device name \"ab\\NUL.b\""), std::string::npos);
  EXPECT_EQ(CountFiles(dir.path()), 1u);
}

TEST(ImageExtraction, NeverWritesThroughAHardLink) {
  ScratchDir dir;
  ScratchDir outside;
  sfx::test::WriteText(outside.path() / "victim", "keep");
  fs::create_hard_link(outside.path() / "victim", dir.path() / "first.txt");
  EXPECT_EQ(ExtractError(ThreeEntryImage(), dir.path(), true), "");
  EXPECT_EQ(ReadBytes(outside.path() / "victim"), Bytes("keep"));
  EXPECT_EQ(ReadBytes(dir.path() / "first.txt"), Bytes("one"));
}

#ifndef _WIN32
TEST(ImageExtraction, NeverFollowsALinkOutOfTheTarget) {
  ScratchDir dir;
  ScratchDir outside;
  fs::create_directory_symlink(outside.path(), dir.path() / "ab");
  EXPECT_NE(ExtractError(ThreeEntryImage(), dir.path(), true).find("symbolic link"), std::string::npos);
  EXPECT_EQ(CountFiles(outside.path()), 0u);
}

TEST(ImageExtraction, NeverWritesThroughALinkedFile) {
  ScratchDir dir;
  ScratchDir outside;
  sfx::test::WriteText(outside.path() / "victim", "keep");
  fs::create_symlink(outside.path() / "victim", dir.path() / "first.txt");
  EXPECT_EQ(ExtractError(ThreeEntryImage(), dir.path(), true), "");
  EXPECT_EQ(ReadBytes(outside.path() / "victim"), Bytes("keep"));
  EXPECT_FALSE(fs::is_symlink(dir.path() / "first.txt"));
}
#endif

TEST(ImageListing, ListsASoundImage) {
  const std::vector<std::uint8_t> image = ThreeEntryImage();
  const Listed listing = List(image);
  EXPECT_TRUE(listing.ok());
  EXPECT_TRUE(listing.directory_complete);
  ASSERT_EQ(listing.entries.size(), 3u);
  EXPECT_EQ(listing.entries[1].name, "ab\\x.bin");
  EXPECT_EQ(listing.entries[1].fields.data_size, 3000u);
  EXPECT_EQ(listing.header.data_end, image.size());
}

TEST(ImageListing, ListsEntriesOfAnImageWithABadDataCrc) {
  std::vector<std::uint8_t> image = ThreeEntryImage();
  image.back() ^= 1;
  const Listed listing = List(image);
  EXPECT_FALSE(listing.ok());
  EXPECT_EQ(listing.header_status, sfx::ImageStatus::kOk);
  ASSERT_EQ(listing.entries.size(), 3u);
  EXPECT_EQ(listing.entries[0].data_status, sfx::ImageStatus::kOk);
  EXPECT_EQ(listing.entries[2].data_status, sfx::ImageStatus::kBadDataCrc);
}

TEST(ImageListing, WalksTheDirectoryDespiteABadDirectoryCrc) {
  std::vector<std::uint8_t> image = ThreeEntryImage();
  image[NameOffset(image, "first.txt")] = 'F';
  const Listed listing = List(image);
  EXPECT_FALSE(listing.ok());
  EXPECT_EQ(listing.header_status, sfx::ImageStatus::kBadDirectoryCrc);
  ASSERT_EQ(listing.entries.size(), 3u);
  EXPECT_EQ(listing.entries[0].name, "First.txt");
}

TEST(ImageListing, MarksUnsafeNames) {
  std::vector<std::uint8_t> image = ThreeEntryImage();
  std::memcpy(image.data() + NameOffset(image, "ab\\x.bin"), "..\\x.bin", 8);
  sfx::test::SealDirectory(image);
  const Listed listing = List(image);
  EXPECT_FALSE(listing.ok());
  ASSERT_EQ(listing.entries.size(), 3u);
  EXPECT_FALSE(listing.entries[1].name_safe);
}

TEST(ImageListing, MarksWhatTheReadersRefuseAndDataThatIsShared) {
  struct Case {
    const char* what;
    const char* first_name;        // replaces "first.txt" (9 characters)
    std::uint32_t shift;           // the third entry points at the second's data + shift ...
    std::uint32_t size;            // ... for this many bytes; 0: left alone
    const char* problem;           // part of the listing's problem; "" for a sound image
    bool sfx::ListedEntry::*flag;  // set on the entry that carries the problem
  };
  using sfx::ListedEntry;
  const Case cases[] = {
      {"exact sharing", "first.txt", 0, 3000, "", &ListedEntry::shares_data},
      {"partial overlap", "first.txt", 2999, 1, "overlaps another entry's data partly", &ListedEntry::partly_overlaps},
      {"device name", "NUL.first", 0, 0, "device name \"NUL.first\"", &ListedEntry::device_name},
      {"forbidden character", "first?txt", 0, 0, "Windows cannot create \"first?txt\"",
       &ListedEntry::windows_forbidden},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> image = ThreeEntryImage();
    std::memcpy(image.data() + NameOffset(image, "first.txt"), c.first_name, 9);
    sfx::test::SealDirectory(image);
    const std::size_t carrier = c.size == 0 ? 0 : 2;
    if (c.size != 0) sfx::test::PointEntryAt(image, 2, List(image).entries[1].fields.data_offset + c.shift, c.size);
    const Listed listing = List(image);
    ASSERT_EQ(listing.entries.size(), 3u) << c.what;
    EXPECT_NE(listing.problem.find(c.problem), std::string::npos) << c.what << ": " << listing.problem;
    EXPECT_EQ(listing.ok(), std::string(c.problem).empty()) << c.what;
    EXPECT_TRUE(listing.entries[carrier].*c.flag) << c.what;
    EXPECT_FALSE(listing.entries[carrier == 0 ? 2 : 0].*c.flag) << c.what;
  }
}

TEST(ImageListing, StopsWhereTheDirectoryLeavesTheImage) {
  std::vector<std::uint8_t> image = ThreeEntryImage();
  // The second entry's name area now claims to run far past the image.
  const std::size_t second = 52 + 24 + 12;
  sfx::StoreLE32(image.data() + second, 0x7FFFFFF0u);
  sfx::test::SealDirectory(image);
  const Listed listing = List(image);
  EXPECT_FALSE(listing.ok());
  EXPECT_FALSE(listing.directory_complete);
  EXPECT_EQ(listing.entries.size(), 1u);
  EXPECT_NE(listing.walk_status, sfx::ImageStatus::kOk);
}

TEST(ImageListing, TooSmallImageHasNoHeader) {
  const std::vector<std::uint8_t> image(20, 0);
  const Listed listing = List(image);
  EXPECT_FALSE(listing.has_header);
  EXPECT_FALSE(listing.ok());
  EXPECT_TRUE(listing.entries.empty());
}

}  // namespace
