// sfxpack dump-image FILE -o IMAGE: decodes a payload block file (the 8-byte
// header with packed and unpacked size, then the scrambled stream) into a
// buffer of unpacked_size bytes and writes that buffer as it was decoded.
// Nothing is checked beyond the header fitting the file: the point is to see
// what the stub's decoder makes of a block, corrupt or not.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli_support.h"
#include "packer/pack_error.h"
#include "packer/payload_block.h"
#include "payload/payload_format.h"

namespace sfxpack {
namespace {

struct DumpImageOptions {
  std::string input;
  std::string output;
};

int RunDumpImage(const DumpImageOptions& options) {
  const std::string block = ReadInputFile(options.input);
  sfx::EmbeddedPayload payload;
  if (!sfx::ParseEmbeddedPayload(reinterpret_cast<const std::uint8_t*>(block.data()), block.size(), payload))
    throw InputError(options.input + ": payload header does not fit the file");

  // The image buffer starts zeroed, so bytes the decoder never wrote show as
  // 0. DecodePayloadStream fails for an unpacked size that the stream cannot
  // reach, or for want of memory.
  std::vector<std::uint8_t> image;
  try {
    image = sfx::DecodePayloadStream(payload.stream, payload.packed_size, payload.unpacked_size, {});
  } catch (const sfx::PackError& error) {
    throw InputError(options.input + ": " + error.what());
  }
  WriteOutputFile(options.output, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
  return kExitOk;
}

}  // namespace

std::function<int()> SetupDumpImage(CLI::App& app) {
  auto options = std::make_shared<DumpImageOptions>();
  CLI::App* sub = app.add_subcommand("dump-image", "Decode a payload block file and write the image as decoded");
  sub->add_option("FILE", options->input, "payload block: 8-byte header, then the stored stream")->required();
  sub->add_option("-o,--output", options->output, "where to write the decoded image")->required();
  return [options] { return RunDumpImage(*options); };
}

}  // namespace sfxpack
