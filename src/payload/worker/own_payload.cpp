// The stub reads its payload from its own file: the PE image is followed by
// "SFXPAYLD" and the EmbeddedPayload block (see overlay.h). The file is
// mapped read-only and never unmapped; the worker decodes straight from the
// mapping.
#include "payload/worker/own_payload.h"

#include <windows.h>

#include "payload/overlay.h"

namespace sfx {
namespace {

// Maps the file at `path` read-only; null on failure.
const std::uint8_t* MapFileReadOnly(const char* path, std::size_t* size) {
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER file_size;
  const std::uint8_t* view = nullptr;
  if (GetFileSizeEx(file, &file_size) && file_size.QuadPart > 0 && file_size.HighPart == 0) {
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping != nullptr) {
      view = static_cast<const std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
      // The view keeps the mapping alive; the handle is not needed anymore.
      CloseHandle(mapping);
      *size = static_cast<std::size_t>(file_size.LowPart);
    }
  }
  CloseHandle(file);
  return view;
}

}  // namespace

bool MapOwnPayload(EmbeddedPayload& payload) {
  char path[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return false;
  std::size_t size = 0;
  const std::uint8_t* file = MapFileReadOnly(path, &size);
  if (file == nullptr) return false;
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  if (FindInstallerPayload(file, size, &block, &block_size) != OverlayStatus::kOk) return false;
  return ParseEmbeddedPayload(block, block_size, payload);
}

}  // namespace sfx
