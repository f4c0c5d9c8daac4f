// Where `sfxpack pack` finds its default installer stub when no --stub is
// given: in the installed tree next to the program, or, for a program run
// from its build folder, the stubs that build was configured with.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace sfxpack {

// The stub variants: the 32-bit stub (the default) and the 64-bit one.
enum class StubArch { kWin32, kWin64 };

// "win32" or "win64", the --arch value and the folder name under
// share/sfxpack/stubs/.
const char* StubArchName(StubArch arch);

// The outcome of looking for a default stub.
struct StubSearch {
  std::filesystem::path found;               // empty when no candidate exists
  std::vector<std::filesystem::path> tried;  // every candidate, in the order looked at
};

// Looks for the stub of `arch`, first at
// <program folder>/../share/sfxpack/stubs/<arch>/sfxstub.exe, then, when
// the program runs from its build folder (SFX_BUILD_BIN_DIR), at the stub
// path that build was given (SFX_BUILD_STUB_WIN32 / SFX_BUILD_STUB_WIN64).
StubSearch FindDefaultStub(StubArch arch);

}  // namespace sfxpack
