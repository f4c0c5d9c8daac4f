// sfxpack dump-image FILE -o IMAGE: decodes the payload block of an installer
// or of a payload block file (the 8-byte header with packed and unpacked
// size, then the scrambled stream) into a buffer of unpacked_size bytes and
// writes that buffer as it was decoded. An installer's block is found the
// way list and extract find it; a block file is taken as it is, and bytes
// after its stream are ignored. Nothing is checked beyond the header
// fitting the file: the point is to see what the stub's decoder makes of a
// block, corrupt or not.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli_support.h"
#include "packer/sfxpack.h"

namespace sfxpack {
namespace {

namespace fs = std::filesystem;

struct DumpImageOptions {
  std::string input;
  std::string output;
};

// True for a file that ParsePayloadFile judges as an installer only: one
// that starts with "MZ".
bool StartsLikeAnInstaller(const std::vector<std::uint8_t>& bytes) {
  return bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z';
}

int RunDumpImage(const DumpImageOptions& options) {
  const fs::path input(options.input);
  const std::string name = sfx::PathToUtf8(input);
  std::vector<std::uint8_t> bytes = sfx::ReadWholeFile(input);
  sfx::PayloadFileKind kind = sfx::PayloadFileKind::kPayloadBlock;
  std::size_t block_offset = 0;
  if (StartsLikeAnInstaller(bytes)) {
    sfx::PayloadFile file;
    try {
      file = sfx::ParsePayloadFile(std::move(bytes));
    } catch (const sfx::PackError& e) {
      throw InputError("no payload found in " + name + ": " + e.what());
    }
    kind = file.kind;
    block_offset = file.block_offset;
    bytes = std::move(file.bytes);
  }

  sfx::EmbeddedPayload payload;
  if (!sfx::ParseEmbeddedPayload(bytes.data() + block_offset, bytes.size() - block_offset, payload))
    throw InputError(name + ": payload header does not fit the file");
  std::printf("%s: %s, payload at offset %zu, packed %u bytes, unpacked %u bytes\n", name.c_str(),
              sfx::PayloadFileKindText(kind), block_offset, static_cast<unsigned>(payload.packed_size),
              static_cast<unsigned>(payload.unpacked_size));

  // The image buffer starts zeroed, so bytes the decoder never wrote show as
  // 0. DecodePayloadStream fails for an unpacked size that the stream cannot
  // reach, or for want of memory.
  std::vector<std::uint8_t> image;
  try {
    image = sfx::DecodePayloadStream(payload.stream, payload.packed_size, payload.unpacked_size, {});
  } catch (const sfx::PackError& error) {
    throw InputError(name + ": " + error.what());
  }
  WriteOutputFile(options.output, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
  return kExitOk;
}

}  // namespace

std::function<int()> SetupDumpImage(CLI::App& app) {
  auto options = std::make_shared<DumpImageOptions>();
  CLI::App* sub = app.add_subcommand(
      "dump-image", "Decode the payload of an installer or payload block file and write the image as decoded");
  sub->add_option("FILE", options->input, "Installer, or payload block file: 8-byte header, then the stored stream")
      ->required();
  sub->add_option("-o,--output", options->output, "where to write the decoded image")->required();
  return [options] { return RunDumpImage(*options); };
}

}  // namespace sfxpack
