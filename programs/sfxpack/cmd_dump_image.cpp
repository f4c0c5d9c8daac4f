// sfxpack dump-image FILE -o IMAGE: decodes a payload block file (the 8-byte
// header with packed and unpacked size, then the scrambled stream) into a
// buffer of unpacked_size bytes and writes that buffer as it was decoded.
// Nothing is checked beyond the header fitting the file: the point is to see
// what the stub's decoder makes of a block, corrupt or not.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "cli_support.h"
#include "payload/payload_format.h"
#include "unpack/unpack.h"

namespace sfxpack {
namespace {

struct DumpImageOptions {
  std::string input;
  std::string output;
};

std::vector<std::uint8_t> ReadBlockFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("cannot open " + path);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw InputError("cannot read " + path);
  return bytes;
}

int RunDumpImage(const DumpImageOptions& options) {
  const std::vector<std::uint8_t> block = ReadBlockFile(options.input);
  sfx::EmbeddedPayload payload;
  if (!sfx::ParseEmbeddedPayload(block.data(), block.size(), payload))
    throw InputError(options.input + ": payload header does not fit the file");

  auto state = sfx::NewUnpackState();
  // The image buffer starts zeroed, so bytes the decoder never wrote show as 0.
  std::vector<std::uint8_t> image(payload.unpacked_size, 0);
  if (!state || sfx::UnpackPayload(*state, payload.stream, payload.stream + payload.packed_size, image.data(),
                                   image.data() + image.size()) == 0)
    throw InputError("not enough memory to decode " + options.input);

  std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out) throw InputError("cannot write " + options.output);
  return kExitOk;
}

const CommandRegistrar kRegistrar{Command{
    "dump-image",
    [](CLI::App& app) -> std::function<int()> {
      auto options = std::make_shared<DumpImageOptions>();
      CLI::App* sub = app.add_subcommand("dump-image", "Decode a payload block file and write the image as decoded");
      sub->add_option("FILE", options->input, "payload block: 8-byte header, then the stored stream")->required();
      sub->add_option("-o,--output", options->output, "where to write the decoded image")->required();
      return [options] { return RunDumpImage(*options); };
    }}};

}  // namespace
}  // namespace sfxpack
