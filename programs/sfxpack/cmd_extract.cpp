// sfxpack extract FILE -o DIR [--force]
//
// Decodes the payload of an installer or payload block file and writes its
// files under DIR, checking the image as the installer does: the header
// first, then each entry right before it is written. DIR must be missing or
// empty; --force lets it hold files, and replaces those of the same names
// by new files. A corrupt payload ends the command with exit code 1; files
// written before the corrupt entry stay, and the message names them.
// The work is sfx::ExtractPayloadFile's; this file prints the summary.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "cli_support.h"
#include "packer/sfxpack.h"
#include "progress_meter.h"

namespace sfxpack {
namespace {

namespace fs = std::filesystem;

struct ExtractOptions {
  std::string file;
  std::string output;
  bool force = false;
};

int RunExtract(const ExtractOptions& options) {
  const fs::path dir(options.output);
  ProgressMeter meter;
  const sfx::ExtractSummary summary =
      sfx::ExtractPayloadFile(fs::path(options.file), dir, meter.Report(), {options.force});
  meter.Finish();
  std::printf("%s: %s, payload at offset %zu\n", sfx::PathToUtf8(fs::path(options.file)).c_str(),
              sfx::PayloadFileKindText(summary.kind), summary.block_offset);
  std::printf("extracted %zu files, %llu bytes, into %s\n", summary.files,
              static_cast<unsigned long long>(summary.bytes), sfx::PathToUtf8(dir).c_str());
  return kExitOk;
}

}  // namespace

std::function<int()> SetupExtract(CLI::App& app) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* sub = app.add_subcommand("extract", "Extract the files of an installer or payload block file");
  sub->add_option("FILE", options->file, "Installer or payload block file")->required();
  sub->add_option("-o,--output", options->output, "Folder to write the files into: missing (it is created) or empty")
      ->required();
  sub->add_flag("--force", options->force,
                "Extract into a folder that holds files, replacing files of the same names by new ones");
  return [options] { return RunExtract(*options); };
}

}  // namespace sfxpack
