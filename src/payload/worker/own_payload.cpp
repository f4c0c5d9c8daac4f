// The stub reads its payload from its own loaded image: the packer added a
// read-only data section ".sfxpay" holding "SFXPAYLD" and the
// EmbeddedPayload block (see overlay.h), which the loader mapped together
// with the code. The worker decodes straight from that section.
#include "payload/worker/own_payload.h"

#include <windows.h>

#include <cstdint>

#include "common/byte_order.h"
#include "payload/overlay.h"
#include "payload/pe_layout.h"

namespace sfx {
namespace {

// Bytes at the module base that are mapped in every loaded image: the
// headers occupy at least one page.
constexpr std::uint32_t kMappedHeaderBytes = 4096;

// SizeOfImage of the loaded image at `base`, read from its headers; 0 when
// the optional header's fixed part does not lie in the first page.
std::size_t LoadedImageSize(const std::uint8_t* base) {
  const std::uint32_t pe = LoadLE32(base + kLfanewOffset);
  const std::uint32_t optional = pe + kPeSignatureSize + kCoffHeaderSize;
  if (pe > kMappedHeaderBytes || optional + kOptionalHeaderFixedSize > kMappedHeaderBytes) return 0;
  return LoadLE32(base + optional + kSizeOfImageOffset);
}

}  // namespace

bool FindOwnPayload(EmbeddedPayload& payload) {
  const auto* base = reinterpret_cast<const std::uint8_t*>(GetModuleHandleW(nullptr));
  if (base == nullptr) return false;
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  if (FindLoadedPayload(base, LoadedImageSize(base), &block, &block_size) != OverlayStatus::kOk) return false;
  return ParseEmbeddedPayload(block, block_size, payload);
}

}  // namespace sfx
