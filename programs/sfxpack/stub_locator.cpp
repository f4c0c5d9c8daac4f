// The default stub's search (see stub_locator.h). The installed place comes
// first so that an installed copy of sfxpack never depends on a build
// folder; the build folder's stubs are used only by the program built there.
#include "stub_locator.h"

#include <string_view>
#include <system_error>

#include "self_path.h"

// Set by programs/sfxpack/CMakeLists.txt in native builds; empty otherwise.
#ifndef SFX_BUILD_BIN_DIR
#define SFX_BUILD_BIN_DIR ""
#endif
#ifndef SFX_BUILD_STUBS
#define SFX_BUILD_STUBS ""
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

// The path after "<name>=" in SFX_BUILD_STUBS; empty when not there.
std::string BuildStubOf(std::string_view name) {
  const std::string_view stubs(SFX_BUILD_STUBS);
  for (std::size_t start = 0; start < stubs.size();) {
    std::size_t end = stubs.find('|', start);
    if (end == std::string_view::npos) end = stubs.size();
    const std::string_view pair = stubs.substr(start, end - start);
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name && pair[name.size()] == '=') {
      return std::string(pair.substr(name.size() + 1));
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

StubSearch FindDefaultStub(const sfx::Architecture& arch) {
  StubSearch search;
  const fs::path self = SelfExecutablePath();
  if (self.empty()) return search;
  const fs::path program_dir = self.parent_path();

  const fs::path installed =
      (program_dir / ".." / "share" / "sfxpack" / "stubs" / arch.name / "sfxstub.exe").lexically_normal();
  search.tried.push_back(installed);
  if (IsRegularFile(installed)) {
    search.found = installed;
    return search;
  }

  const fs::path build_bin_dir(SFX_BUILD_BIN_DIR);
  const fs::path build_stub(BuildStubOf(arch.name));
  if (build_bin_dir.empty() || build_stub.empty() || !SameFolder(program_dir, build_bin_dir)) return search;
  search.tried.push_back(build_stub);
  if (IsRegularFile(build_stub)) search.found = build_stub;
  return search;
}

}  // namespace sfxpack
