// Run-time binding of the version library.
//
// The library is loaded from "<system folder>\version.dll" with
// LoadLibraryExA, and GetFileVersionInfoSizeA, GetFileVersionInfoA and
// VerQueryValueA are resolved with GetProcAddress. A library that cannot be
// loaded, or that lacks one of the three, leaves the object not ok(); the
// version check then treats the product as not qualifying.
#include "update/version_library.h"

#include <cstring>

#include "update/update_platform.h"

namespace sfx {
namespace {

constexpr char kVersionLibraryName[] = "\\version.dll";

// Converts a GetProcAddress result to the function type that the export is
// known to have. GCC accepts a cast between unrelated function pointer types
// without a warning only through void(*)(), which stands for "any function";
// the call is then made through the export's true type, so it is sound.
template <typename Fn>
Fn ResolveExport(HMODULE module, const char* name) {
  FARPROC proc = GetProcAddress(module, name);
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

HMODULE LoadSystemVersionLibrary() {
  char path[MAX_PATH + sizeof(kVersionLibraryName)];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  // 0 is a failure, and a result of MAX_PATH or more is the size that a
  // longer folder name would need: in both cases there is no usable path.
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::memcpy(path + length, kVersionLibraryName, sizeof(kVersionLibraryName));
  return LoadLibraryExA(path, nullptr, 0);
}

VersionLibrary::VersionLibrary() {
  module_ = update_platform.load_version_library();
  if (module_ == nullptr) return;
  size = ResolveExport<SizeFn>(module_, "GetFileVersionInfoSizeA");
  info = ResolveExport<InfoFn>(module_, "GetFileVersionInfoA");
  query = ResolveExport<QueryFn>(module_, "VerQueryValueA");
}

VersionLibrary::~VersionLibrary() {
  if (module_ != nullptr) FreeLibrary(module_);
}

}  // namespace sfx
