#include "cli_support.h"

namespace sfxpack {

std::vector<Command>& CommandTable() {
  static std::vector<Command> table;
  return table;
}

}  // namespace sfxpack
