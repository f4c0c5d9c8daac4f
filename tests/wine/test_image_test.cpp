// The image builder and damage helpers behind the end-to-end installers:
// the damaged installers must fail exactly the check they are named after,
// and a sound image must pass every check with its entries intact.
#include "support/test_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/payload_format.h"

namespace sfx::test {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

const std::vector<TestEntry> kEntries = {
    {"Setup.exe", Bytes("MZ probe")}, {"a.txt", Bytes("first")}, {"empty.txt", {}}, {"sub\\b.txt", Bytes("second")}};

// Statuses of the header check and of each entry, in directory order.
struct Walk {
  ImageStatus header;
  std::vector<std::string> names;
  std::vector<ImageStatus> entries;
};

Walk WalkImage(const std::vector<std::uint8_t>& image) {
  CrcTable table;
  BuildCrcTable(table);
  const PayloadImageView view(image.data(), image.size(), table);
  Walk walk{view.CheckHeader(), {}, {}};
  if (walk.header != ImageStatus::kOk) return walk;
  std::uint32_t offset = view.Header().dir_offset;
  for (;;) {
    ImageEntry entry;
    bool at_end = false;
    std::uint32_t next = 0;
    EXPECT_EQ(view.ReadEntry(offset, entry, &at_end, &next), ImageStatus::kOk);
    if (at_end) break;
    walk.names.push_back(entry.name);
    walk.entries.push_back(view.CheckEntryData(entry));
    offset = next;
  }
  return walk;
}

TEST(TestImageBuilder, SoundImagePassesEveryCheck) {
  const auto image = BuildTestImage(kEntries);
  const Walk walk = WalkImage(image);
  ASSERT_EQ(walk.header, ImageStatus::kOk);
  ASSERT_EQ(walk.names.size(), kEntries.size());
  for (std::size_t i = 0; i < kEntries.size(); ++i) {
    EXPECT_EQ(walk.names[i], kEntries[i].name);
    EXPECT_EQ(walk.entries[i], ImageStatus::kOk) << kEntries[i].name;
  }
}

TEST(TestImageBuilder, EmptyDirectoryIsValid) {
  const Walk walk = WalkImage(BuildTestImage({}));
  EXPECT_EQ(walk.header, ImageStatus::kOk);
  EXPECT_TRUE(walk.names.empty());
}

TEST(TestImageDamage, HeaderDamageFailsTheHeaderCrc) {
  auto image = BuildTestImage(kEntries);
  DamageImageHeader(image);
  EXPECT_EQ(WalkImage(image).header, ImageStatus::kBadHeaderCrc);
}

TEST(TestImageDamage, DirectoryDamageFailsTheDirectoryCrc) {
  auto image = BuildTestImage(kEntries);
  DamageImageDirectory(image);
  EXPECT_EQ(WalkImage(image).header, ImageStatus::kBadDirectoryCrc);
  auto empty = BuildTestImage({});
  DamageImageDirectory(empty);
  EXPECT_EQ(WalkImage(empty).header, ImageStatus::kBadDirectoryCrc);
}

TEST(TestImageDamage, EntryDamageFailsOnlyThatEntry) {
  auto image = BuildTestImage(kEntries);
  DamageImageEntry(image, 3);
  const Walk walk = WalkImage(image);
  ASSERT_EQ(walk.header, ImageStatus::kOk);
  EXPECT_EQ(walk.entries,
            std::vector<ImageStatus>({ImageStatus::kOk, ImageStatus::kOk, ImageStatus::kOk, ImageStatus::kBadDataCrc}));
}

TEST(TestImageDamage, EntryWithoutDataCannotBeDamaged) {
  auto image = BuildTestImage(kEntries);
  EXPECT_THROW(DamageImageEntry(image, 2), std::invalid_argument);
  EXPECT_THROW(DamageImageEntry(image, 9), std::out_of_range);
}

}  // namespace
}  // namespace sfx::test
