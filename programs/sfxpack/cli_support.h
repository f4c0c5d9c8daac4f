// Shared plumbing of the sfxpack commands: the command table, exit codes and
// the error type that commands throw for bad input.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

// One subcommand. `setup` adds the subcommand with its options to the
// application and returns the function that runs it once parsing succeeded;
// that function returns the exit code.
struct Command {
  const char* name;
  std::function<std::function<int()>(CLI::App& app)> setup;
};

// Commands register themselves at start-up through a static CommandRegistrar
// in their own source file.
std::vector<Command>& CommandTable();

struct CommandRegistrar {
  explicit CommandRegistrar(Command command) { CommandTable().push_back(std::move(command)); }
};

// `utf8` as a JSON string literal: quotes and backslashes escaped, control
// characters (and DEL) written as escapes, everything else as it is.
std::string JsonString(std::string_view utf8);

}  // namespace sfxpack
