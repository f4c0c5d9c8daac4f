// sfxpack: builds, lists, verifies and extracts installers and payloads, and
// checks setup configurations. Each command lives in cmd_<name>.cpp.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "cli_support.h"

int main(int argc, char** argv) {
  CLI::App app{"sfxpack: build and inspect Mivor self-extracting installers"};
  app.set_version_flag("--version", std::string("sfxpack ") + SFX_VERSION);
  app.require_subcommand(1);

  auto& table = sfxpack::CommandTable();
  std::sort(table.begin(), table.end(),
            [](const sfxpack::Command& a, const sfxpack::Command& b) { return std::string(a.name) < b.name; });
  std::vector<std::pair<CLI::App*, std::function<int()>>> runners;
  for (auto& command : table) {
    auto run = command.setup(app);
    runners.emplace_back(app.get_subcommand(command.name), std::move(run));
  }

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
  } catch (const sfxpack::InputError& e) {
    std::fprintf(stderr, "sfxpack: %s\n", e.what());
    return sfxpack::kExitBadInput;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sfxpack: %s\n", e.what());
    return sfxpack::kExitBadInput;
  }
  return sfxpack::kExitUsage;
}
