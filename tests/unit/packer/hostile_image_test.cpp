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

using sfx::test::HostileShape;

class HostileImage : public ::testing::TestWithParam<HostileShape> {};

TEST_P(HostileImage, IsListedUpToTheEntryLimitAndRefusedBeforeAnythingIsWritten) {
  const HostileShape& shape = GetParam();
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
  EXPECT_EQ(listing.unpacked_size, image_size) << shape.name;
  EXPECT_EQ(listing.image.entry_count, examined) << shape.name;
  EXPECT_EQ(listing.image.too_many_entries, shape.entries > sfx::kMaxImageEntries) << shape.name;
  EXPECT_EQ(listing.image.repeated_names, examined - 1) << shape.name;
  EXPECT_EQ(listing.image.sharing_entries, shape.data_size == 0 ? 0 : examined) << shape.name;
  EXPECT_EQ(listing.image.problem, "repeated entry name \"a\"") << shape.name;
  EXPECT_EQ(visited, examined) << shape.name;
  EXPECT_EQ(data_ok, examined) << shape.name;

  try {
    sfx::ExtractPayloadFile(file, dir.path() / "out", {});
    ADD_FAILURE() << shape.name << ": extracted";
  } catch (const sfx::PackError& error) {
    const std::string expected = shape.entries > sfx::kMaxImageEntries ? "entries" : "appears more than once";
    EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
  }
  EXPECT_FALSE(fs::exists(dir.path() / "out")) << shape.name;
}

INSTANTIATE_TEST_SUITE_P(Shapes, HostileImage, ::testing::ValuesIn(sfx::test::kHostileShapes));

}  // namespace
