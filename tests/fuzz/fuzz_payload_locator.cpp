// Fuzz target: the installer payload finder (FindPeOverlayOffset,
// FindInstallerPayload, FindLoadedPayload) on arbitrary files; the file
// bytes stand in for a loaded image too.
// Properties: no read outside the file (the input is an exact-size buffer);
// an accepted block lies inside the file right after the marker (at the
// overlay offset when it came from an overlay), and its header announces
// exactly the stream that the block holds.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "payload/payload_locator.h"
#include "payload/payload_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t overlay = 0;
  const bool is_pe = sfx::FindPeOverlayOffset(data, size, &overlay);
  if (is_pe) sfx::fuzz::Require(overlay <= size, "overlay offset inside the file");

  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  const std::uint8_t* loaded_block = nullptr;
  std::size_t loaded_size = 0;
  if (sfx::FindLoadedPayload(data, size, &loaded_block, &loaded_size) == sfx::PayloadStatus::kOk) {
    sfx::fuzz::Require(loaded_block >= data + sizeof(sfx::kPayloadMarker) &&
                           static_cast<std::size_t>(loaded_block - data) <= size - loaded_size,
                       "loaded block inside the image");
  }
  sfx::PayloadLayout layout = sfx::PayloadLayout::kOverlay;
  if (sfx::FindInstallerPayload(data, size, &block, &block_size, &layout) != sfx::PayloadStatus::kOk) return 0;
  sfx::fuzz::Require(block >= data + sizeof(sfx::kPayloadMarker) && block_size <= size &&
                         static_cast<std::size_t>(block - data) <= size - block_size,
                     "block inside the file");
  sfx::fuzz::Require(
      std::memcmp(block - sizeof(sfx::kPayloadMarker), sfx::kPayloadMarker, sizeof(sfx::kPayloadMarker)) == 0,
      "marker right before the block");
  if (layout == sfx::PayloadLayout::kOverlay) {
    sfx::fuzz::Require(is_pe, "an installer is a PE file");
    sfx::fuzz::Require(static_cast<std::size_t>(block - data) == overlay + sizeof(sfx::kPayloadMarker),
                       "block follows the marker at the overlay offset");
  }
  sfx::EmbeddedPayload payload;
  sfx::fuzz::Require(sfx::ParseEmbeddedPayload(block, block_size, payload), "accepted block parses");
  sfx::fuzz::Require(block_size == sfx::kEmbeddedHeaderSize + std::size_t{payload.packed_size},
                     "block is header plus announced stream");
  return 0;
}
