// The stub reads its payload from its own loaded image: the packer added a
// read-only data section ".sfxpay" holding "SFXPAYLD" and the
// EmbeddedPayload block (see payload_locator.h), which the loader mapped
// together with the code. The worker decodes straight from that section.
#include "payload/worker/own_payload.h"

#include <windows.h>

#include <cstdint>

#include "payload/payload_locator.h"
#include "payload/pe_image.h"

namespace sfx {
namespace {

// Bytes at the module base that are mapped in every loaded image: the
// headers occupy at least one page.
constexpr std::uint32_t kMappedHeaderBytes = 4096;

}  // namespace

bool FindOwnPayload(EmbeddedPayload& payload) {
  const auto* base = reinterpret_cast<const std::uint8_t*>(GetModuleHandleW(nullptr));
  if (base == nullptr) return false;
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  // SizeOfImage is read from the first page; every later read stays below it.
  if (FindLoadedPayload(base, PeImage::MappedImageSize(base, kMappedHeaderBytes), &block, &block_size) !=
      PayloadStatus::kOk)
    return false;
  return ParseEmbeddedPayload(block, block_size, payload);
}

}  // namespace sfx
