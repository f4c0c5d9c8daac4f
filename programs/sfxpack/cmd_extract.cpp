// sfxpack extract FILE -o DIR
//
// Decodes the payload of an installer or payload block file and writes its
// files under DIR, checking the image as the installer does: the header
// first, then each entry right before it is written. A corrupt payload ends
// the command with exit code 1; files written before the corrupt entry stay.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "cli_support.h"
#include "packer/host_path.h"
#include "packer/image_extractor.h"
#include "packer/payload_block.h"
#include "packer/payload_file.h"
#include "packer/progress_meter.h"
#include "payload/crc32.h"
#include "payload/payload_format.h"

namespace {

namespace fs = std::filesystem;

struct ExtractOptions {
  std::string file;
  std::string output;
};

int RunExtract(const ExtractOptions& options) {
  const sfx::PayloadFile file = sfx::ReadPayloadFile(fs::path(options.file));
  sfx::ProgressMeter decode_meter("decoding", file.unpacked_size);
  const std::vector<std::uint8_t> image = sfx::DecodePayloadStream(
      file.stream(), file.packed_size, file.unpacked_size, [&decode_meter](std::uint64_t done) { decode_meter.Update(done); });
  decode_meter.Finish();
  sfx::CrcTable table;
  sfx::BuildCrcTable(table);
  const sfx::PayloadImageView view(image.data(), image.size(), table);
  const fs::path dir(options.output);
  sfx::ProgressMeter write_meter("writing", image.size());
  const sfx::ExtractSummary summary =
      sfx::ExtractImage(view, dir, [&write_meter](std::uint64_t done) { write_meter.Update(done); });
  write_meter.Update(image.size());  // the image also holds header and directory
  write_meter.Finish();
  std::printf("extracted %zu files, %llu bytes, into %s\n", summary.files,
              static_cast<unsigned long long>(summary.bytes), sfx::PathToUtf8(dir).c_str());
  return sfxpack::kExitOk;
}

std::function<int()> SetupExtract(CLI::App& app) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* sub = app.add_subcommand("extract", "Extract the files of an installer or payload block file");
  sub->add_option("FILE", options->file, "Installer or payload block file")->required();
  sub->add_option("-o,--output", options->output, "Folder to write the files into (created when missing)")->required();
  return [options] { return RunExtract(*options); };
}

const sfxpack::CommandRegistrar kRegisterExtract{{"extract", &SetupExtract}};

}  // namespace
