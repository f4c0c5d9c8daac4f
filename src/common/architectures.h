// The Windows architectures of the stub, as a table (architectures.def).
#pragma once

#include <cstdint>
#include <string_view>

namespace sfx {

struct Architecture {
  const char* name;          // "win32", "win64", ...
  std::uint16_t pe_machine;  // the PE machine field of its programs
  const char* word_size;     // "32-bit", "64-bit", ...
};

inline constexpr Architecture kArchitectures[] = {
#define SFX_ARCHITECTURE(name, pe_machine, word_size, triple) {name, pe_machine, word_size},
#include "common/architectures.def"
#undef SFX_ARCHITECTURE
};

// The default architecture: the first of the table.
inline constexpr const Architecture& kDefaultArchitecture = kArchitectures[0];

// The architecture of that name, or null.
inline const Architecture* FindArchitecture(std::string_view name) {
  for (const Architecture& architecture : kArchitectures) {
    if (name == architecture.name) return &architecture;
  }
  return nullptr;
}

// The architecture whose programs carry this PE machine field, or null.
inline const Architecture* ArchitectureOfMachine(std::uint16_t machine) {
  for (const Architecture& architecture : kArchitectures) {
    if (machine == architecture.pe_machine) return &architecture;
  }
  return nullptr;
}

}  // namespace sfx
