// sfx_installer_driver: runs an installer with its own temp folder, answers
// the stub's message boxes with OK and reports what happened, one item per
// line in UTF-8 (line breaks inside a message are written as \r and \n):
//
//   message: <text>
//   exit: <installer exit code>
//   processes: <processes that ran: the installer and what it launched>
//
// Usage: sfx_installer_driver INSTALLER TEMP_FOLDER [TIMEOUT_SECONDS]
// Exit code 0 when the installer ended in time, 1 otherwise, 2 for usage.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "installer_driver.h"

namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: sfx_installer_driver INSTALLER TEMP_FOLDER [TIMEOUT_SECONDS]\n");
    return 2;
  }
  const long seconds = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 120;
  const auto run = sfx::test::RunInstaller(argv[1], argv[2], static_cast<DWORD>(seconds) * 1000);
  if (!run.started) {
    std::fprintf(stderr, "sfx_installer_driver: cannot start %s\n", argv[1]);
    return 1;
  }
  for (const auto& message : run.messages) std::printf("message: %s\n", Escape(sfx::test::ToUtf8(message)).c_str());
  if (!run.finished) {
    std::printf("timeout: the installer did not end within %ld seconds\n", seconds);
    return 1;
  }
  std::printf("exit: %lu\n", static_cast<unsigned long>(run.exit_code));
  std::printf("processes: %lu\n", static_cast<unsigned long>(run.processes));
  return 0;
}
