// Where `sfxpack pack` finds its default installer stub when no --stub is
// given: in the installed tree next to the program, or, for a program run
// from its build folder, the stubs that build was configured with.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/architectures.h"

namespace sfxpack {

// The outcome of looking for a default stub.
struct StubSearch {
  std::filesystem::path found;               // empty when no candidate exists
  std::vector<std::filesystem::path> tried;  // every candidate, in the order looked at
};

// Looks for the stub of `arch`, first at
// <program folder>/../share/sfxpack/stubs/<arch>/sfxstub.exe, then, when
// the program runs from its build folder (SFX_BUILD_BIN_DIR), at the stub
// path that build was given for it (SFX_BUILD_STUBS, "name=path" pairs
// separated by "|").
StubSearch FindDefaultStub(const sfx::Architecture& arch);

}  // namespace sfxpack
