// sfxpack: builds, lists, verifies and extracts installers and payloads, and
// checks setup configurations. Each command lives in cmd_<name>.cpp; the
// packer library does the work, the commands read arguments and print.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cli_support.h"

namespace {

// Every subcommand, in the order the help lists them.
const sfxpack::Command kCommands[] = {
    {"check-config", &sfxpack::SetupCheckConfig},
    {"dump-image", &sfxpack::SetupDumpImage},
    {"extract", &sfxpack::SetupExtract},
    {"list", &sfxpack::SetupList},
    {"pack", &sfxpack::SetupPack},
    {"scramble-config", &sfxpack::SetupScrambleConfig},
};

// With a first argument that is neither an option nor a command, says so
// and names the commands, rather than asking for a command that was given.
bool IsUnknownCommand(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') return false;
  const std::string word = argv[1];
  std::string names;
  for (const sfxpack::Command& command : kCommands) {
    if (word == command.name) return false;
    names += names.empty() ? command.name : std::string(", ") + command.name;
  }
  std::fprintf(stderr, "sfxpack: unknown command '%s' (the commands are %s)\nRun with --help for more information.\n",
               word.c_str(), names.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"sfxpack: build and inspect Mivor self-extracting installers"};
  app.set_version_flag("--version", std::string("sfxpack ") + SFX_VERSION);
  app.require_subcommand(1);

  std::vector<std::pair<CLI::App*, std::function<int()>>> runners;
  for (const sfxpack::Command& command : kCommands) {
    auto run = command.setup(app);
    runners.emplace_back(app.get_subcommand(command.name), std::move(run));
  }

  if (IsUnknownCommand(argc, argv)) return sfxpack::kExitUsage;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? sfxpack::kExitOk : sfxpack::kExitUsage;
  }

  try {
    for (auto& [sub, run] : runners) {
      if (sub != nullptr && sub->parsed()) return run();
    }
  } catch (const std::exception& e) {
    // InputError, the library's PackError, and anything else: bad input.
    std::fprintf(stderr, "sfxpack: %s\n", e.what());
    return sfxpack::kExitBadInput;
  }
  return sfxpack::kExitUsage;
}
