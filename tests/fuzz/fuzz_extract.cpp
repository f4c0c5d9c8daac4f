// Fuzz target: the whole extract path of sfxpack (read the installer or
// payload block file, decode the payload, check the image and write its
// files) into a scratch folder, with the packer functions that the extract
// command uses.
//
// Input layout: an installer or payload block file as it is; or "IMG!", a
// mode byte and an image: the image's CRCs are recomputed (bit 0 of the
// mode: data CRCs too) and it is packed into a payload block first, so that
// mutations of names and directory reach the file writing.
//
// The scratch folder lies four levels below a private folder; every level is
// checked after each run, so a file or folder written outside the target
// (by a name that climbs up to four levels) is a finding. The extractor
// allocates the whole image, as the installer does: a claimed unpacked size
// above the output budget must be one that its stream cannot produce, and
// then the decode must refuse it before allocating; a claim the stream could
// produce (an input far beyond the fuzzers' length) is skipped.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "packer/image_extractor.h"
#include "packer/pack_error.h"
#include "packer/payload_block.h"
#include "packer/payload_file.h"
#include "payload/crc32.h"
#include "payload/payload_format.h"

namespace {

namespace fs = std::filesystem;

constexpr char kImageMagic[4] = {'I', 'M', 'G', '!'};
constexpr int kGuardLevels = 4;

// <temp>/sfx-fuzz-extract-N/g0/g1/g2/g3/out; removed when the process ends
// normally.
struct Scratch {
  Scratch() {
    std::random_device random;
    top = fs::temp_directory_path() / ("sfx-fuzz-extract-" + std::to_string(random()));
    fs::path level = top;
    for (int i = 0; i < kGuardLevels; ++i) {
      level /= "g" + std::to_string(i);
      levels.push_back(level);
    }
    out = level / "out";
    fs::create_directories(out);
  }
  ~Scratch() {
    std::error_code error;
    fs::remove_all(top, error);
  }
  fs::path top;
  std::vector<fs::path> levels;
  fs::path out;
};

// True when `folder` holds exactly one item, the folder `only`.
bool HoldsOnly(const fs::path& folder, const fs::path& only) {
  std::size_t count = 0;
  for (const auto& item : fs::directory_iterator(folder)) {
    if (item.path().filename() != only.filename() || !item.is_directory()) return false;
    ++count;
  }
  return count == 1;
}

void CheckNothingOutside(const Scratch& scratch) {
  sfx::fuzz::Require(HoldsOnly(scratch.top, scratch.levels[0]), "nothing written outside the target folder");
  for (std::size_t i = 0; i + 1 < scratch.levels.size(); ++i) {
    sfx::fuzz::Require(HoldsOnly(scratch.levels[i], scratch.levels[i + 1]),
                       "nothing written outside the target folder");
  }
  sfx::fuzz::Require(HoldsOnly(scratch.levels.back(), scratch.out), "nothing written outside the target folder");
  // Only plain files and folders inside: no links made by the extraction.
  for (const auto& item : fs::recursive_directory_iterator(scratch.out)) {
    sfx::fuzz::Require(!item.is_symlink() && (item.is_regular_file() || item.is_directory()),
                       "the extraction makes plain files and folders only");
  }
}

std::vector<std::uint8_t> FileBytes(const std::uint8_t* data, std::size_t size) {
  if (size >= sizeof(kImageMagic) + 1 && std::memcmp(data, kImageMagic, sizeof(kImageMagic)) == 0) {
    std::vector<std::uint8_t> image(data + sizeof(kImageMagic) + 1, data + size);
    sfx::fuzz::FixImageCrcs(image, (data[sizeof(kImageMagic)] & 1) != 0);
    return sfx::fuzz::MakePayloadBlock(image, 1, false);
  }
  return std::vector<std::uint8_t>(data, data + size);
}

void Extract(std::vector<std::uint8_t> bytes, const fs::path& out) {
  const sfx::PayloadFile file = sfx::ParsePayloadFile(std::move(bytes));
  if (file.unpacked_size > sfx::fuzz::kOutputBudget) {
    if (sfx::UnpackedSizeFits(sfx::EmbeddedPayload{file.packed_size, file.unpacked_size, file.stream()})) return;
    bool refused = false;
    try {
      (void)sfx::DecodePayloadStream(file.stream(), file.packed_size, file.unpacked_size, nullptr);
    } catch (const sfx::PackError&) {
      refused = true;
    }
    sfx::fuzz::Require(refused, "an unpacked size its stream cannot produce is refused");
    return;
  }
  const std::vector<std::uint8_t> image =
      sfx::DecodePayloadStream(file.stream(), file.packed_size, file.unpacked_size, nullptr);
  sfx::fuzz::Require(image.size() == file.unpacked_size, "decoded image has the announced size");
  sfx::CrcTable table;
  sfx::BuildCrcTable(table);
  const sfx::PayloadImageView view(image.data(), image.size(), table);
  std::uint64_t last_progress = 0;
  sfx::ExtractImage(view, out, [&last_progress](std::uint64_t written) {
    sfx::fuzz::Require(written >= last_progress, "progress never goes back");
    last_progress = written;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Scratch scratch;
  try {
    Extract(FileBytes(data, size), scratch.out);
  } catch (const sfx::PackError&) {
    // A refused file or corrupt payload: the command reports it and exits 1.
  } catch (const std::exception&) {
    // The command reports these the same way (sfxpack's main).
  }
  CheckNothingOutside(scratch);
  std::error_code error;
  for (const auto& item : fs::directory_iterator(scratch.out, error)) fs::remove_all(item.path(), error);
  return 0;
}
