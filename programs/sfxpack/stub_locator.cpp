// The default stub's search (see stub_locator.h). The installed place comes
// first so that an installed copy of sfxpack never depends on a build
// folder; the build folder's stubs are used only by the program built there.
#include "stub_locator.h"

#include <system_error>

#include "self_path.h"

// Set by programs/sfxpack/CMakeLists.txt in native builds; empty otherwise.
#ifndef SFX_BUILD_BIN_DIR
#define SFX_BUILD_BIN_DIR ""
#endif
#ifndef SFX_BUILD_STUB_WIN32
#define SFX_BUILD_STUB_WIN32 ""
#endif
#ifndef SFX_BUILD_STUB_WIN64
#define SFX_BUILD_STUB_WIN64 ""
#endif

namespace sfxpack {
namespace {

namespace fs = std::filesystem;

bool IsRegularFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

}  // namespace

const char* StubArchName(StubArch arch) { return arch == StubArch::kWin64 ? "win64" : "win32"; }

StubSearch FindDefaultStub(StubArch arch) {
  StubSearch search;
  const fs::path self = SelfExecutablePath();
  if (self.empty()) return search;
  const fs::path program_dir = self.parent_path();

  const fs::path installed =
      (program_dir / ".." / "share" / "sfxpack" / "stubs" / StubArchName(arch) / "sfxstub.exe").lexically_normal();
  search.tried.push_back(installed);
  if (IsRegularFile(installed)) {
    search.found = installed;
    return search;
  }

  const fs::path build_bin_dir(SFX_BUILD_BIN_DIR);
  const fs::path build_stub(arch == StubArch::kWin64 ? SFX_BUILD_STUB_WIN64 : SFX_BUILD_STUB_WIN32);
  if (build_bin_dir.empty() || build_stub.empty() || !SameFolder(program_dir, build_bin_dir)) return search;
  search.tried.push_back(build_stub);
  if (IsRegularFile(build_stub)) search.found = build_stub;
  return search;
}

}  // namespace sfxpack
