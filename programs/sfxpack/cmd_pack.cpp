// sfxpack pack DIR -o OUT [--stub STUB] [--level N] [--order FILE] [--allow-bad-config]
//
// Packs every file under DIR into a payload image (Setup.cfg first,
// Setup.exe second, the rest by name, or the order of an order file),
// compresses and scrambles it into a payload block, checks that the block
// decodes back to the image, and writes either an installer (with --stub)
// or the bare payload block file. The work is sfx::PackFolder's; this file
// reads the arguments and prints the warnings and the summary.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "cli_support.h"
#include "packer/host_path.h"
#include "packer/pack_folder.h"
#include "progress_meter.h"

namespace sfxpack {
namespace {

namespace fs = std::filesystem;

struct PackArguments {
  std::string dir;
  std::string output;
  std::string stub;
  std::string order;
  int level = 6;
  bool allow_bad_config = false;
  std::string elevation;
};

// The --elevation choices and the manifest levels they stand for.
const std::map<std::string, sfx::ExecutionLevel> kElevations = {{"admin", sfx::ExecutionLevel::kRequireAdministrator},
                                                                {"highest", sfx::ExecutionLevel::kHighestAvailable},
                                                                {"invoker", sfx::ExecutionLevel::kAsInvoker}};

int RunPack(const PackArguments& arguments) {
  ProgressMeter meter;
  sfx::PackOptions options;
  options.folder = fs::path(arguments.dir);
  options.output = fs::path(arguments.output);
  if (!arguments.stub.empty()) options.stub = fs::path(arguments.stub);
  if (!arguments.order.empty()) options.order_file = fs::path(arguments.order);
  options.level = arguments.level;
  options.allow_bad_config = arguments.allow_bad_config;
  if (!arguments.elevation.empty()) options.execution_level = kElevations.at(arguments.elevation);
  options.warn = [&meter](const std::string& text) {
    meter.Finish();
    std::fprintf(stderr, "sfxpack: warning: %s\n", text.c_str());
  };
  options.progress = meter.Report();
  const sfx::PackResult result = sfx::PackFolder(options);
  meter.Finish();

  const std::string output = sfx::PathToUtf8(options.output);
  if (result.kind == sfx::PayloadFileKind::kPayloadBlock) {
    std::printf("wrote payload block file %s\n", output.c_str());
  } else {
    std::printf("wrote installer %s (stub %zu bytes, payload at offset %zu)\n", output.c_str(), result.stub_size,
                result.block_offset);
  }
  // "packed" is the stream size P, as `sfxpack list` shows it.
  const double ratio = result.image_size == 0
                           ? 0.0
                           : 100.0 * static_cast<double>(result.packed_size) / static_cast<double>(result.image_size);
  std::printf("%zu files, %llu bytes; image %zu bytes, packed %zu bytes (%.1f%%)\n", result.file_count,
              static_cast<unsigned long long>(result.file_bytes), result.image_size, result.packed_size, ratio);
  return kExitOk;
}

}  // namespace

std::function<int()> SetupPack(CLI::App& app) {
  auto arguments = std::make_shared<PackArguments>();
  CLI::App* sub = app.add_subcommand("pack", "Pack a folder into an installer (--stub) or a payload block file");
  sub->add_option("DIR", arguments->dir, "Folder whose files go into the payload")->required();
  sub->add_option("-o,--output", arguments->output, "File to write")->required();
  sub->add_option("--stub", arguments->stub,
                  "Installer stub (PE executable); without it a payload block file is written");
  sub->add_option("--level", arguments->level, "Compression level, 1 (fastest) to 9 (smallest)")
      ->check(CLI::Range(1, 9))
      ->capture_default_str();
  sub->add_option("--order", arguments->order,
                  "File with one relative name per line: these entries first, in this order");
  sub->add_option("--elevation", arguments->elevation,
                  "Execution level the installer's manifest asks for: admin (the stub's default), highest or "
                  "invoker")
      ->check(CLI::IsMember({"admin", "highest", "invoker"}));
  sub->add_flag("--allow-bad-config", arguments->allow_bad_config, "Pack a Setup.cfg even when it does not parse");
  return [arguments] { return RunPack(*arguments); };
}

}  // namespace sfxpack
