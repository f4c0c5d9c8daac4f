// The update decision on the first Setup.cfg written during extraction.
//
// Parse Setup.cfg (the entry's bytes in the image) into the check's config (a parse failure has already been
// written to the standard error stream), form the profile file name and the
// application-path keys of "mivor.exe", locate the product, require that
// the located folder exists (any file-system entry will do), and let the
// version check decide. Every failure means "does not qualify"; nothing is
// shown to the user.
#include "update/update_decision.h"

#include <cstring>

#include "config/product_executable.h"
#include "config/setup_config.h"
#include "update/product_locator.h"
#include "update/update_platform.h"
#include "update/version_check.h"

namespace sfx {
namespace {

constexpr char kProductFolderName[] = "Mivor";
constexpr char kProfileSuffix[] = ".ini";
constexpr char kAppPathsPrefix[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr char kAppPathsPrefixNT[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\App Paths\\";

// Writes `first` followed by `second` into `dest`. The fixed names used here
// are far shorter than the buffers; the assertions in FixLocatorNames keep
// it that way.
void Concatenate(char* dest, const char* first, const char* second) {
  std::size_t length = std::strlen(first);
  std::memcpy(dest, first, length);
  std::memcpy(dest + length, second, std::strlen(second) + 1);
}

void FixLocatorNames(UpdateCheck& check) {
  static_assert(sizeof(kAppPathsPrefixNT) + sizeof(kProductExecutable) <= kUpdatePathSize);
  static_assert(sizeof(kAppPathsPrefix) + sizeof(kProductExecutable) <= kUpdatePathSize);
  static_assert(sizeof(kProductFolderName) + sizeof(kProfileSuffix) <= kUpdatePathSize);
  Concatenate(check.product_ini_file, kProductFolderName, kProfileSuffix);
  Concatenate(check.app_paths_key, kAppPathsPrefix, kProductExecutable);
  Concatenate(check.app_paths_key_nt, kAppPathsPrefixNT, kProductExecutable);
}

}  // namespace

bool DecideUpdateWith(UpdateCheck& check, const std::uint8_t* config, std::size_t size) {
  if (!ParseSetupConfigBytes(&check.config, config, size)) return false;
  FixLocatorNames(check);
  if (!LocateProduct(check)) return false;
  if (update_platform.get_file_attributes(check.product_folder) == INVALID_FILE_ATTRIBUTES) {
    return false;
  }
  return CheckInstalledVersion(check);
}

bool DecideUpdate(const std::uint8_t* config, std::size_t size) {
  UpdateCheck check;
  return DecideUpdateWith(check, config, size);
}

}  // namespace sfx
