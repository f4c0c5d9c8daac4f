// Installed version check.
//
// The product executable "mivor.exe" in product_folder must carry version
// information whose fixed file version, packed into 32 bits (major, minor,
// third and fourth component in bytes 3 to 0, each reduced to its low 8
// bits, so 4.0.259.0 packs like 4.0.3.0), lies in [version_lo, version_hi]
// of Setup.cfg as unsigned numbers, both ends included. When Setup.cfg names
// a product, the string "\StringFileInfo\040904B0\ProductName" must exist
// and equal that name byte for byte. When it asks for the language check,
// "mivorjpn.nls" in the same folder must carry version information.
// MP3_INSTALL skips the whole check.
#include "update/version_check.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "config/product_executable.h"
#include "update/version_library.h"

namespace sfx {
namespace {

constexpr char kProductNamePath[] = "\\StringFileInfo\\040904B0\\ProductName";

// Room for product_folder (at most 259 characters), a backslash and either
// file name with its zero.
constexpr std::size_t kProductPathSize = kUpdatePathSize + 1 + sizeof(kProductLanguageFile);

// Frees a block from std::malloc.
struct FreeBlock {
  void operator()(void* block) const { std::free(block); }
};

// `product_folder` followed by a backslash unless it already ends in one.
void FormFolderPrefix(char* prefix, const char* product_folder) {
  std::size_t length = strnlen(product_folder, kUpdatePathSize - 1);
  std::memcpy(prefix, product_folder, length);
  if (length == 0 || prefix[length - 1] != '\\') prefix[length++] = '\\';
  prefix[length] = '\0';
}

// `prefix` followed by `name`, into `path` of kProductPathSize bytes.
void JoinPath(char* path, const char* prefix, const char* name) {
  std::size_t length = std::strlen(prefix);
  std::memcpy(path, prefix, length);
  std::memcpy(path + length, name, std::strlen(name) + 1);
}

// The file version packed as major.minor.third.fourth, one byte each.
std::uint32_t PackFileVersion(const VS_FIXEDFILEINFO& info) {
  return ((info.dwFileVersionMS >> 16) & 0xFF) << 24 | (info.dwFileVersionMS & 0xFF) << 16 |
         ((info.dwFileVersionLS >> 16) & 0xFF) << 8 | (info.dwFileVersionLS & 0xFF);
}

// Whether the string value at `value` equals `name` byte for byte. The value
// must lie inside the block, and its terminating zero too, so the comparison
// never reads past the block.
bool ValueEquals(const char* block, std::size_t block_size, const char* value, const char* name) {
  if (value < block || value >= block + block_size) return false;
  std::size_t room = static_cast<std::size_t>(block + block_size - value);
  std::size_t length = strnlen(value, room);
  if (length == room) return false;
  return length == std::strlen(name) && std::memcmp(value, name, length) == 0;
}

// The version checks of `config` on the loaded block of the product
// executable.
bool BlockQualifies(const SetupConfig& config, const VersionLibrary& library, const char* block, std::size_t block_size,
                    const char* prefix) {
  void* value = nullptr;
  UINT value_length = 0;
  if (!library.query(block, "\\", &value, &value_length) || value == nullptr ||
      value_length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  // The record is copied out rather than read in place, so that its
  // alignment inside the block does not matter.
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, value, sizeof(fixed));
  std::uint32_t packed = PackFileVersion(fixed);
  if (packed < config.version_lo || packed > config.version_hi) return false;

  if (config.product_name != nullptr) {
    value = nullptr;
    value_length = 0;
    if (!library.query(block, kProductNamePath, &value, &value_length) || value == nullptr ||
        !ValueEquals(block, block_size, static_cast<const char*>(value), config.product_name)) {
      return false;
    }
  }

  if (config.check_language != 0) {
    char language_path[kProductPathSize];
    JoinPath(language_path, prefix, kProductLanguageFile);
    DWORD handle = 0;
    if (library.size(language_path, &handle) == 0) return false;
  }
  return true;
}

}  // namespace

bool CheckInstalledVersion(const UpdateCheck& check) {
  if (check.config.mp3_install == 1) return true;

  char prefix[kProductPathSize];
  FormFolderPrefix(prefix, check.product_folder);
  char executable[kProductPathSize];
  JoinPath(executable, prefix, kProductExecutable);

  VersionLibrary library;
  if (!library.ok()) return false;

  DWORD handle = 0;
  DWORD size = library.size(executable, &handle);
  if (size == 0) return false;

  std::unique_ptr<char, FreeBlock> block(static_cast<char*>(std::malloc(size)));
  if (!block) return false;
  if (!library.info(executable, 0, size, block.get())) return false;
  return BlockQualifies(check.config, library, block.get(), size, prefix);
}

}  // namespace sfx
