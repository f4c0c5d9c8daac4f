// sfxpack scramble-config FILE -o OUT [--marker BYTE]: writes the scrambled
// form of a plain Setup.cfg that the stub's reader undoes: a marker byte
// outside 0x20..0x7E, then every byte XORed with a key that starts at
// marker XOR 0x20 and grows by 15 per byte (the marker itself reads back as
// a space). The result is parsed with the stub's parser before the command
// reports success, so a file that would not survive the trip (an already
// scrambled input, for instance) is refused and no output is left behind.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "cli_support.h"
#include "config/config_scrambler.h"
#include "config/setup_config.h"

namespace sfxpack {
namespace {

struct ScrambleConfigOptions {
  std::string input;
  std::string output;
  unsigned marker = sfx::kDefaultScrambleMarker;
};

int RunScrambleConfig(const ScrambleConfigOptions& options) {
  const auto marker = static_cast<std::uint8_t>(options.marker);
  if (options.marker > 0xFF || !sfx::IsScrambleMarker(marker)) {
    throw InputError("--marker must be a byte outside 0x20..0x7E");
  }
  const std::string plain = ReadInputFile(options.input);
  WriteOutputFile(options.output, sfx::ScrambleConfig(plain, marker));

  sfx::SetupConfig config;
  std::string message;
  if (!sfx::ParseSetupConfigQuiet(&config, options.output.c_str(), &message)) {
    std::error_code ignored;
    std::filesystem::remove(options.output, ignored);
    throw InputError(options.input + " does not parse once scrambled: " + message);
  }
  return kExitOk;
}

}  // namespace

std::function<int()> SetupScrambleConfig(CLI::App& app) {
  auto options = std::make_shared<ScrambleConfigOptions>();
  CLI::App* sub = app.add_subcommand("scramble-config", "Write the scrambled form of a plain Setup.cfg");
  sub->add_option("FILE", options->input, "the plain Setup.cfg")->required();
  sub->add_option("-o,--output", options->output, "where to write the scrambled file")->required();
  // A marker that cannot be one is a usage error (exit code 2), found while
  // the command line is read.
  sub->add_option("--marker", options->marker, "first byte of the scrambled file, outside 0x20..0x7E (default 0xA7)")
      ->check(CLI::Validator(
          [](std::string& value) {
            unsigned marker = 0;
            if (!CLI::detail::lexical_cast(value, marker) || marker > 0xFF ||
                !sfx::IsScrambleMarker(static_cast<std::uint8_t>(marker))) {
              return std::string("--marker must be a byte outside 0x20..0x7E");
            }
            return std::string();
          },
          "BYTE"));
  return [options] { return RunScrambleConfig(*options); };
}

}  // namespace sfxpack
