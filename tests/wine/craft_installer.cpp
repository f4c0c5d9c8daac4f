// sfx_craft_installer: builds installers for the stub's end-to-end tests,
// including damaged ones that a packer would never write.
//
// Usage: sfx_craft_installer STUB OUT [--damage header|directory|entry:N] [--claim-size U]
//                            [--share-data I:J] NAME=FILE...
//
// Each NAME=FILE adds an entry named NAME (taken verbatim, backslashes and
// all, so names that escape the working folder can be made) with the bytes
// of the host file FILE (an empty FILE part gives an empty entry). The image
// is built in this order, optionally damaged, compressed, scrambled with the
// payload seed and added to the stub as its payload section (BuildInstaller).
// --claim-size writes U into the payload header instead of the image's real
// size (an installer that lies about its image). --share-data points entry J
// at the data bytes of entry I, as a packer that stores identical files once
// would.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "encode/encoder.h"
#include "payload/crc32.h"
#include "packer/installer_writer.h"
#include "packer/pack_error.h"
#include "support/payload_samples.h"
#include "support/test_image.h"

namespace {

bool ReadFile(const std::string& path, std::vector<std::uint8_t>* data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// The image offset of entry `index` (from 0, in directory order); 0 when
// the directory has no such entry.
std::size_t EntryAt(const std::vector<std::uint8_t>& image, std::size_t index) {
  std::size_t entry = sfx::LoadLE32(image.data() + 0x24);
  for (;; --index) {
    if (entry + 24 > image.size() || sfx::LoadLE32(image.data() + entry) == 0) return 0;
    if (index == 0) return entry;
    entry += 24 + sfx::LoadLE32(image.data() + entry);
  }
}

// "I:J": entry J is pointed at entry I's data bytes (PointEntryAt re-seals
// the image).
bool ShareData(std::vector<std::uint8_t>& image, const std::string& pair) {
  const auto colon = pair.find(':');
  if (colon == std::string::npos) return false;
  const std::size_t to = std::stoul(pair.substr(colon + 1));
  const std::size_t from = EntryAt(image, std::stoul(pair.substr(0, colon)));
  if (from == 0 || EntryAt(image, to) == 0) return false;
  sfx::test::PointEntryAt(image, to, sfx::LoadLE32(image.data() + from + 12), sfx::LoadLE32(image.data() + from + 8));
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: sfx_craft_installer STUB OUT [--damage header|directory|entry:N] [--claim-size U] "
               "[--share-data I:J] NAME=FILE...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string stub_path = argv[1];
  const std::string out_path = argv[2];
  std::string damage;
  bool claim_size = false;
  std::uint32_t claimed_size = 0;
  std::string share;
  std::vector<sfx::test::TestEntry> entries;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--damage" && i + 1 < argc) {
      damage = argv[++i];
      continue;
    }
    if (arg == "--share-data" && i + 1 < argc) {
      share = argv[++i];
      continue;
    }
    if (arg == "--claim-size" && i + 1 < argc) {
      claim_size = true;
      claimed_size = static_cast<std::uint32_t>(std::stoul(argv[++i], nullptr, 0));
      continue;
    }
    const auto equals = arg.find('=');
    if (equals == std::string::npos) return Usage();
    sfx::test::TestEntry entry{arg.substr(0, equals), {}};
    const std::string file = arg.substr(equals + 1);
    if (!file.empty() && !ReadFile(file, &entry.data)) {
      std::fprintf(stderr, "sfx_craft_installer: cannot read %s\n", file.c_str());
      return 1;
    }
    entries.push_back(std::move(entry));
  }

  std::vector<std::uint8_t> image = sfx::test::BuildTestImage(entries);
  if (!share.empty() && !ShareData(image, share)) return Usage();
  if (damage == "header") {
    sfx::test::DamageImageHeader(image);
  } else if (damage == "directory") {
    sfx::test::DamageImageDirectory(image);
  } else if (damage.rfind("entry:", 0) == 0) {
    sfx::test::DamageImageEntry(image, std::stoul(damage.substr(6)));
  } else if (!damage.empty()) {
    return Usage();
  }

  std::vector<std::uint8_t> stub;
  if (!ReadFile(stub_path, &stub)) {
    std::fprintf(stderr, "sfx_craft_installer: cannot read %s\n", stub_path.c_str());
    return 1;
  }
  std::vector<std::uint8_t> stream = sfx::CompressStream(image.data(), image.size(), sfx::EncodeOptions{});
  sfx::ScrambleStream(stream.data(), stream.size(), sfx::kPayloadSeed);
  std::vector<std::uint8_t> block(8 + stream.size());
  sfx::StoreLE32(block.data(), static_cast<std::uint32_t>(stream.size()));
  sfx::StoreLE32(block.data() + 4, claim_size ? claimed_size : static_cast<std::uint32_t>(image.size()));
  std::copy(stream.begin(), stream.end(), block.begin() + 8);

  std::vector<std::uint8_t> installer;
  try {
    installer = sfx::BuildInstaller(stub, block, std::nullopt, nullptr);
  } catch (const sfx::PackError& error) {
    std::fprintf(stderr, "sfx_craft_installer: %s: %s\n", stub_path.c_str(), error.what());
    return 1;
  }
  std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(installer.data()), static_cast<std::streamsize>(installer.size()));
  if (!out) {
    std::fprintf(stderr, "sfx_craft_installer: cannot write %s\n", out_path.c_str());
    return 1;
  }
  std::printf("%s: %zu entries, image %zu bytes, stream %zu bytes%s%s\n", out_path.c_str(), entries.size(),
              image.size(), stream.size(), damage.empty() ? "" : ", damaged: ", damage.c_str());
  return 0;
}
