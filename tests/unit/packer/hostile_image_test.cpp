// Hostile payloads cost what their image weighs: directories of millions of
// identical entries, and many entries sharing one large range, are listed
// and refused without holding an entry per directory entry or checking the
// shared data again for each. Their time and memory are measured by
// bench/hostile_bench.cpp; these tests check the results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "packer/image_extractor.h"
#include "packer/image_index.h"
#include "packer/pack_error.h"
#include "packer/payload_file_listing.h"
#include "support/files.h"
#include "support/hostile_payloads.h"

namespace {

namespace fs = std::filesystem;

struct Shape {
  const char* what;
  std::uint64_t entries;
  std::uint32_t data_size;
};

// The shapes of the security review: a 250 KB file with 18 million
// identical entries, a 1 MB file with 75 million, a few KB whose 160,000
// entries share 1 MiB of data.
const Shape kShapes[] = {
    {"18 million identical entries", 18'000'000, 0},
    {"75 million identical entries", 75'000'000, 0},
    {"160,000 entries sharing 1 MiB", 160'000, 1u << 20},
};

class HostileImage : public ::testing::TestWithParam<Shape> {};

TEST_P(HostileImage, IsListedUpToTheEntryLimitAndRefusedBeforeAnythingIsWritten) {
  const Shape& shape = GetParam();
  const std::uint64_t image_size = 52 + 26 * shape.entries + 4 + shape.data_size;
  if (sizeof(void*) < 8 && image_size > (1u << 30)) {
    GTEST_SKIP() << "a 32-bit process cannot hold an image of " << image_size << " bytes";
  }
  sfx::test::ScratchDir dir;
  const fs::path file = dir.path() / "hostile.bin";
  sfx::test::WriteBytes(file, sfx::test::RepeatedEntryBlock(shape.entries, 'a', shape.data_size));

  std::uint64_t visited = 0, data_ok = 0;
  const sfx::PayloadFileListing listing = sfx::ListPayloadFile(file, {}, {}, [&](const sfx::ListedEntry& entry) {
    ++visited;
    if (entry.data_status == sfx::ImageStatus::kOk) ++data_ok;
  });
  const std::uint64_t examined = std::min<std::uint64_t>(shape.entries, sfx::kMaxImageEntries);
  EXPECT_EQ(listing.unpacked_size, image_size) << shape.what;
  EXPECT_EQ(listing.image.entry_count, examined) << shape.what;
  EXPECT_EQ(listing.image.too_many_entries, shape.entries > sfx::kMaxImageEntries) << shape.what;
  EXPECT_EQ(listing.image.repeated_names, examined - 1) << shape.what;
  EXPECT_EQ(listing.image.sharing_entries, shape.data_size == 0 ? 0 : examined) << shape.what;
  EXPECT_EQ(listing.image.problem, "repeated entry name \"a\"") << shape.what;
  EXPECT_EQ(visited, examined) << shape.what;
  EXPECT_EQ(data_ok, examined) << shape.what;

  try {
    sfx::ExtractPayloadFile(file, dir.path() / "out", {});
    ADD_FAILURE() << shape.what << ": extracted";
  } catch (const sfx::PackError& error) {
    const std::string expected = shape.entries > sfx::kMaxImageEntries ? "entries" : "appears more than once";
    EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
  }
  EXPECT_FALSE(fs::exists(dir.path() / "out")) << shape.what;
}

INSTANTIATE_TEST_SUITE_P(Shapes, HostileImage, ::testing::ValuesIn(kShapes));

}  // namespace
