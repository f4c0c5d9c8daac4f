// sfxpack pack DIR -o OUT [--stub STUB | --arch win32|win64 | --payload-only]
//                          [--level N] [--threads N] [--order FILE] [--elevation admin|highest|invoker]
//                          [--allow-bad-config] [--allow-no-setup] [--exclude GLOB]... [--json] [-q]
//
// Packs every file under DIR into a payload image (Setup.cfg first,
// Setup.exe second, the rest by name, or the order of an order file),
// compresses and scrambles it into a payload block, checks that the block
// decodes back to the image, and writes an installer or, with
// --payload-only, the bare payload block file. The installer's stub is
// --stub, or the default stub of --arch (win32 unless told) that
// FindDefaultStub finds next to the program. The work is sfx::PackFolder's;
// this file reads the arguments and prints the warnings and the summary:
// two lines for people, one JSON object with --json, nothing with --quiet
// (warnings go to the standard error stream either way).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli_support.h"
#include "packer/sfxpack.h"
#include "progress_meter.h"
#include "stub_locator.h"

namespace sfxpack {
namespace {

namespace fs = std::filesystem;

struct PackArguments {
  std::string dir;
  std::string output;
  std::string stub;
  std::string order;
  std::string arch = sfx::kDefaultArchitecture.name;
  bool payload_only = false;
  int level = 6;
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  bool allow_bad_config = false;
  bool allow_no_setup = false;
  std::string elevation;
  std::vector<std::string> excludes;
  bool json = false;
  bool quiet = false;
};

// The --elevation choices and the manifest levels they stand for.
const std::map<std::string, sfx::ExecutionLevel> kElevations = {{"admin", sfx::ExecutionLevel::kRequireAdministrator},
                                                                {"highest", sfx::ExecutionLevel::kHighestAvailable},
                                                                {"invoker", sfx::ExecutionLevel::kAsInvoker}};

// The --arch values, and their text for the help: "win32 (32-bit) or
// win64 (64-bit)".
std::vector<std::string> ArchitectureNames() {
  std::vector<std::string> names;
  for (const sfx::Architecture& arch : sfx::kArchitectures) names.emplace_back(arch.name);
  return names;
}
std::string ArchitectureChoices() {
  std::string text;
  const std::size_t count = std::size(sfx::kArchitectures);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += i + 1 == count ? " or " : ", ";
    text += std::string(sfx::kArchitectures[i].name) + " (" + sfx::kArchitectures[i].word_size + ")";
  }
  return text;
}

// The stub the installer is written with: --stub, else the default stub of
// --arch; empty with --payload-only. Without any, InputError says what to
// pass instead, so that a forgotten --stub never yields a bare block file.
fs::path ChooseStub(const PackArguments& arguments) {
  if (arguments.payload_only) return {};
  if (!arguments.stub.empty()) return fs::path(arguments.stub);
  const sfx::Architecture& arch = *sfx::FindArchitecture(arguments.arch);  // checked by --arch
  const StubSearch search = FindDefaultStub(arch);
  if (!search.found.empty()) return search.found;
  std::string message = std::string("no ") + arch.name + " installer stub found";
  for (std::size_t i = 0; i < search.tried.size(); ++i) {
    message += (i == 0 ? " (looked for " : ", ") + sfx::PathToUtf8(search.tried[i]);
  }
  if (!search.tried.empty()) message += ")";
  throw InputError(message + "; name one with --stub STUB, or pass --payload-only to write a bare payload block");
}

void PrintJson(const PackArguments& arguments, const sfx::PackOptions& options, const sfx::PackResult& result) {
  auto text_or_null = [](const std::string& text) { return text.empty() ? std::string("null") : JsonString(text); };
  const bool installer = result.kind == sfx::PayloadFileKind::kInstaller;
  std::string out = "{\"output\":" + JsonString(sfx::PathToUtf8(options.output));
  out += ",\"kind\":" + JsonString(installer ? "installer" : "payload");
  out += ",\"size\":" + std::to_string(result.output_size);
  out += ",\"sha256\":" + JsonString(result.output_sha256);
  out += ",\"entries\":" + std::to_string(result.file_count);
  out += ",\"file_bytes\":" + std::to_string(result.file_bytes);
  out += ",\"image_size\":" + std::to_string(result.image_size);
  out += ",\"packed_size\":" + std::to_string(result.packed_size);
  out += ",\"excluded\":" + std::to_string(result.excluded);
  out += ",\"stub\":" + (installer ? JsonString(sfx::PathToUtf8(options.stub)) : std::string("null"));
  out += ",\"stub_sha256\":" + text_or_null(result.stub_sha256);
  out += ",\"architecture\":" + text_or_null(result.architecture);
  // The stub's manifest asks for administrator rights unless told otherwise.
  const std::string elevation = arguments.elevation.empty() ? "admin" : arguments.elevation;
  out += ",\"elevation\":" + (installer ? JsonString(elevation) : std::string("null")) + "}\n";
  std::fputs(out.c_str(), stdout);
}

int RunPack(const PackArguments& arguments) {
  ProgressMeter meter;
  sfx::PackOptions options;
  options.folder = fs::path(arguments.dir);
  options.output = fs::path(arguments.output);
  options.stub = ChooseStub(arguments);
  if (!arguments.order.empty()) options.order_file = fs::path(arguments.order);
  options.excludes = arguments.excludes;
  options.level = arguments.level;
  options.threads = arguments.threads;
  options.allow_bad_config = arguments.allow_bad_config;
  options.allow_no_setup = arguments.allow_no_setup;
  if (!arguments.elevation.empty()) options.execution_level = kElevations.at(arguments.elevation);
  options.warn = [&meter](const std::string& text) {
    meter.Finish();
    std::fprintf(stderr, "sfxpack: warning: %s\n", text.c_str());
  };
  if (!arguments.quiet && !arguments.json) options.progress = meter.Report();
  const sfx::PackResult result = sfx::PackFolder(options);
  meter.Finish();
  if (arguments.json) {
    PrintJson(arguments, options, result);
    return kExitOk;
  }
  if (arguments.quiet) return kExitOk;

  const std::string output = sfx::PathToUtf8(options.output);
  if (result.kind == sfx::PayloadFileKind::kPayloadBlock) {
    std::printf("wrote payload block file %s\n", output.c_str());
  } else {
    std::printf("wrote installer %s (stub %s, %zu bytes; payload at offset %zu)\n", output.c_str(),
                sfx::PathToUtf8(options.stub).c_str(), result.stub_size, result.block_offset);
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
  CLI::App* sub =
      app.add_subcommand("pack", "Pack a folder into an installer, or a payload block file (--payload-only)");
  sub->add_option("DIR", arguments->dir, "Folder whose files go into the payload")->required();
  sub->add_option("-o,--output", arguments->output, "File to write (replaced whole, through a temporary file)")
      ->required()
      ->check([](const std::string& value) {
        return value == "-" ? std::string("cannot write an installer to the standard output; name a file") : "";
      });
  CLI::Option* stub = sub->add_option("--stub", arguments->stub,
                                      "Installer stub (PE executable); default: the installed stub of --arch");
  CLI::Option* arch = sub->add_option("--arch", arguments->arch, "Default stub to use: " + ArchitectureChoices())
                          ->check(CLI::IsMember(ArchitectureNames()))
                          ->capture_default_str()
                          ->excludes(stub);
  CLI::Option* payload_only =
      sub->add_flag("--payload-only", arguments->payload_only, "Write a bare payload block file, no installer stub")
          ->excludes(stub)
          ->excludes(arch);
  sub->add_option("--level", arguments->level, "Compression level, 1 (fastest) to 9 (smallest)")
      ->check(CLI::Range(1, 9))
      ->capture_default_str();
  sub->add_option("--threads", arguments->threads,
                  "Encoder threads for levels 7 to 9 (the output does not depend on it)")
      ->check(CLI::Range(1u, 256u))
      ->capture_default_str();
  sub->add_option("--order", arguments->order,
                  "File with one relative name per line: these entries first, in this order");
  sub->add_option("--elevation", arguments->elevation,
                  "Execution level the installer's manifest asks for: admin (the stub's default), highest or "
                  "invoker")
      ->check(CLI::IsMember({"admin", "highest", "invoker"}))
      ->excludes(payload_only);  // a bare block has no manifest to change
  sub->add_flag("--allow-bad-config", arguments->allow_bad_config, "Pack a Setup.cfg even when it does not parse");
  sub->add_flag("--allow-no-setup", arguments->allow_no_setup, "Pack a folder without a top-level Setup.exe");
  sub->add_option("--exclude", arguments->excludes,
                  "Leave out files and folders matching GLOB (* and ?; with a '/', matched against the relative "
                  "path); repeatable")
      ->option_text("GLOB")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  CLI::Option* json = sub->add_flag("--json", arguments->json, "Print one JSON object describing what was written");
  sub->add_flag("-q,--quiet", arguments->quiet, "Print nothing but warnings and errors")->excludes(json);
  return [arguments] { return RunPack(*arguments); };
}

}  // namespace sfxpack
