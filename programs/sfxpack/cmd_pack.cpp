// sfxpack pack DIR -o OUT [--stub STUB] [--level N] [--order FILE] [--allow-bad-config]
//
// Packs every file under DIR into a payload image (Setup.cfg first,
// Setup.exe second, the rest by name, or the order of an order file),
// compresses and scrambles it into a payload block, checks that the block
// decodes back to the image, and writes either an installer (with --stub)
// or the bare payload block file.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli_support.h"
#include "config/setup_config.h"
#include "packer/entry_order.h"
#include "packer/folder_scan.h"
#include "packer/host_path.h"
#include "packer/image_builder.h"
#include "packer/installer_writer.h"
#include "packer/pack_error.h"
#include "packer/payload_block.h"
#include "packer/payload_file.h"
#include "packer/progress_meter.h"
#include "payload/overlay.h"

namespace {

namespace fs = std::filesystem;

struct PackOptions {
  std::string dir;
  std::string output;
  std::string stub;
  std::string order;
  int level = 6;
  bool allow_bad_config = false;
};

void Warn(const std::string& text) { std::fprintf(stderr, "sfxpack: warning: %s\n", text.c_str()); }

std::string Quoted(const fs::path& path) { return "\"" + sfx::PathToUtf8(path) + "\""; }

// Refuses an output file inside DIR: a later run would pack the old output.
void CheckOutputOutsideFolder(const fs::path& dir, const fs::path& output) {
  std::error_code error;
  const fs::path root = fs::weakly_canonical(dir, error);
  if (error) return;
  const fs::path target = fs::weakly_canonical(output, error);
  if (error) return;
  const fs::path relative = target.lexically_relative(root);
  if (!relative.empty() && *relative.begin() != "..") {
    throw sfxpack::InputError("the output file " + Quoted(output) + " lies inside the folder being packed");
  }
}

// Parses a top-level Setup.cfg the way the installer will; refuses a bad
// one unless the user insists.
void CheckSetupConfig(const sfx::FolderScan& scan, bool allow_bad_config) {
  bool has_config = false;
  bool has_program = false;
  for (const sfx::ScannedFile& file : scan.files) {
    if (sfx::IsTopLevelSetupProgram(file.name)) has_program = true;
    if (!sfx::IsTopLevelSetupConfig(file.name)) continue;
    has_config = true;
    sfx::SetupConfig config;
    std::string message;
    if (sfx::ParseSetupConfigQuiet(&config, file.source.string().c_str(), &message) != 0) continue;
    const std::string what = "the setup configuration " + Quoted(file.source) + " does not parse: " + message;
    if (!allow_bad_config) throw sfxpack::InputError(what + " (--allow-bad-config packs it anyway)");
    Warn(what);
  }
  if (!has_config) Warn("no Setup.cfg at the top of the folder: the installer will not check the installed product");
  if (!has_program) Warn("no Setup.exe at the top of the folder: the installer will have no setup program to start");
}

std::vector<std::size_t> ChooseOrder(const std::vector<std::string>& names, const std::string& order_file) {
  if (order_file.empty()) return sfx::DefaultEntryOrder(names);
  const std::vector<std::uint8_t> bytes = sfx::ReadWholeFile(fs::path(order_file));
  const std::string text(bytes.begin(), bytes.end());
  std::vector<std::size_t> order = sfx::ManifestEntryOrder(names, sfx::ParseOrderManifest(text));
  // The installer decides on the update right after Setup.cfg and stops
  // after Setup.exe; with the configuration later that decision comes too late.
  std::size_t config_at = order.size();
  std::size_t program_at = order.size();
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (config_at == order.size() && sfx::IsTopLevelSetupConfig(names[order[i]])) config_at = i;
    if (program_at == order.size() && sfx::IsTopLevelSetupProgram(names[order[i]])) program_at = i;
  }
  if (config_at != order.size() && program_at < config_at) {
    Warn("the order file puts Setup.exe before Setup.cfg: the installer will then always extract every file");
  }
  return order;
}

void LoadFile(const fs::path& source, std::uint8_t* dst, std::size_t size) {
  std::ifstream in(source, std::ios::binary);
  if (!in) throw sfx::PackError("cannot open " + Quoted(source));
  in.read(reinterpret_cast<char*>(dst), static_cast<std::streamsize>(size));
  if (static_cast<std::size_t>(in.gcount()) != size) throw sfx::PackError(Quoted(source) + " shrank while packing");
  if (in.peek() != std::ifstream::traits_type::eof()) throw sfx::PackError(Quoted(source) + " grew while packing");
}

void WriteOutput(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw sfxpack::InputError("cannot create " + Quoted(path));
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::error_code ignored;
    fs::remove(path, ignored);
    throw sfxpack::InputError("cannot write " + Quoted(path));
  }
}

int RunPack(const PackOptions& options) {
  const fs::path dir(options.dir);
  const fs::path output(options.output);
  CheckOutputOutsideFolder(dir, output);

  // Read and check the stub first: no point compressing for a bad one.
  std::vector<std::uint8_t> stub;
  if (!options.stub.empty()) {
    stub = sfx::ReadWholeFile(fs::path(options.stub));
    sfx::BuildInstaller(stub, {}, nullptr);
  }

  sfx::FolderScan scan = sfx::ScanFolder(dir);
  for (const std::string& warning : scan.warnings) Warn(warning);
  CheckSetupConfig(scan, options.allow_bad_config);

  std::vector<std::string> names;
  for (const sfx::ScannedFile& file : scan.files) names.push_back(file.name);
  sfx::ImageBuilder builder;
  for (std::size_t index : ChooseOrder(names, options.order)) {
    const sfx::ScannedFile& file = scan.files[index];
    const fs::path source = file.source;
    builder.AddEntry(file.name, file.size,
                     [source](std::uint8_t* dst, std::size_t size) { LoadFile(source, dst, size); });
  }
  const std::vector<std::uint8_t> image = builder.Build();

  sfx::EncodeOptions encode;
  encode.level = options.level;
  sfx::ProgressMeter meter("compressing", image.size());
  encode.progress = [&meter](std::uint64_t done, std::uint64_t) { meter.Update(done); };
  const std::vector<std::uint8_t> block = sfx::BuildPayloadBlock(image, encode);
  meter.Finish();
  sfx::VerifyPayloadBlock(block, image);

  std::uint64_t file_bytes = 0;
  for (const sfx::ScannedFile& file : scan.files) file_bytes += file.size;
  if (options.stub.empty()) {
    WriteOutput(output, block);
    std::printf("wrote payload block file %s\n", sfx::PathToUtf8(output).c_str());
  } else {
    sfx::InstallerReport report;
    const std::vector<std::uint8_t> installer = sfx::BuildInstaller(stub, block, &report);
    if (report.dropped_bytes != 0) {
      Warn("the stub had " + std::to_string(report.dropped_bytes) +
           " bytes after its sections (an old payload or a signature); they were left out");
    }
    // The installer must find the block exactly where it was put.
    const std::uint8_t* found = nullptr;
    std::size_t found_size = 0;
    if (sfx::FindInstallerPayload(installer.data(), installer.size(), &found, &found_size) != sfx::OverlayStatus::kOk ||
        found != installer.data() + report.overlay_offset + sizeof sfx::kOverlayMarker || found_size != block.size()) {
      throw sfxpack::InputError("internal error: the payload cannot be found again in the installer; nothing written");
    }
    if (report.cleared_certificate_entry) Warn("the stub was signed; its signature does not carry over and was removed");
    WriteOutput(output, installer);
    std::printf("wrote installer %s (stub %zu bytes, payload at offset %zu)\n", sfx::PathToUtf8(output).c_str(),
                report.overlay_offset, report.overlay_offset + 8);
  }
  // "packed" is the stream size P, as `sfxpack list` shows it.
  const std::size_t packed = block.size() - 8;
  const double ratio = image.empty() ? 0.0 : 100.0 * static_cast<double>(packed) / static_cast<double>(image.size());
  std::printf("%zu files, %llu bytes; image %zu bytes, packed %zu bytes (%.1f%%)\n", scan.files.size(),
              static_cast<unsigned long long>(file_bytes), image.size(), packed, ratio);
  return sfxpack::kExitOk;
}

std::function<int()> SetupPack(CLI::App& app) {
  auto options = std::make_shared<PackOptions>();
  CLI::App* sub = app.add_subcommand("pack", "Pack a folder into an installer (--stub) or a payload block file");
  sub->add_option("DIR", options->dir, "Folder whose files go into the payload")->required();
  sub->add_option("-o,--output", options->output, "File to write")->required();
  sub->add_option("--stub", options->stub, "Installer stub (PE executable); without it a payload block file is written");
  sub->add_option("--level", options->level, "Compression level, 1 (fastest) to 9 (smallest)")
      ->check(CLI::Range(1, 9))
      ->capture_default_str();
  sub->add_option("--order", options->order,
                  "File with one relative name per line: these entries first, in this order");
  sub->add_flag("--allow-bad-config", options->allow_bad_config, "Pack a Setup.cfg even when it does not parse");
  return [options] { return RunPack(*options); };
}

const sfxpack::CommandRegistrar kRegisterPack{{"pack", &SetupPack}};

}  // namespace
