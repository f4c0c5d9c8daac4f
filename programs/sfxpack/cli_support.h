// Shared plumbing of the sfxpack commands: exit codes, the error type that
// commands throw for bad input, the command table, and the small helpers
// that several commands use to read files and print.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace CLI {
class App;
}

namespace sfxpack {

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 1;
inline constexpr int kExitUsage = 2;

// Thrown by a command for bad input (unreadable file, corrupt payload, ...);
// main prints "sfxpack: <what>" on stderr and exits with kExitBadInput.
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Adds one subcommand with its options to the application and returns the
// function that runs it once parsing succeeded; that function returns the
// exit code.
using CommandSetup = std::function<int()> (*)(CLI::App& app);

// One subcommand of the command table in main.cpp.
struct Command {
  const char* name;
  CommandSetup setup;
};

// The subcommands, one in each cmd_<name>.cpp.
std::function<int()> SetupCheckConfig(CLI::App& app);
std::function<int()> SetupDumpImage(CLI::App& app);
std::function<int()> SetupExtract(CLI::App& app);
std::function<int()> SetupList(CLI::App& app);
std::function<int()> SetupPack(CLI::App& app);
std::function<int()> SetupScrambleConfig(CLI::App& app);

// The whole file at `path`; InputError "cannot open PATH" or "cannot read
// PATH" when it cannot be read.
std::string ReadInputFile(const std::string& path);

// Creates or replaces the file at `path` with `bytes`; InputError "cannot
// write PATH" when that fails.
void WriteOutputFile(const std::string& path, std::string_view bytes);

// `utf8` as a JSON string literal: quotes and backslashes escaped, control
// characters (C0, DEL and C1) written as escapes, a byte that is not valid
// UTF-8 as \uFFFD, everything else as it is. Text for people goes through
// sfx::PrintableText instead.
std::string JsonString(std::string_view utf8);

}  // namespace sfxpack
