// Differential fuzz target: UnpackImage, the decode straight into the image
// buffer that the stub and sfxpack use, against the window decoder
// (UnpackPayload into a zero-filled buffer) as the reference, on arbitrary
// stored streams and output sizes.
//
// Input layout as for the target "unpack": byte 0 is the mode (bit 0: the
// rest is a plain stream, scrambled with the payload seed first), bytes 1-3
// the output size (little-endian, below 4 MiB, the output budget), the rest
// the stream.
// Properties: both return true, deliver the same progress chunks in the same
// order and leave the same output bytes, although UnpackImage's buffer starts
// out filled with other bytes.
#include <cstdint>
#include <vector>

#include "encode/encoder.h"
#include "format/scramble_key.h"
#include "fuzz_support.h"
#include "support/decode_stream.h"
#include "unpack/unpack.h"

namespace {

constexpr std::size_t kPrefixSize = 4;
constexpr std::uint32_t kOutputSizeMask = 0x3FFFFF;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kPrefixSize) return 0;
  const std::size_t out_size = sfx::fuzz::LoadLE(data + 1, 3) & kOutputSizeMask;
  sfx::test::Bytes stored(data + kPrefixSize, data + size);
  if ((data[0] & 1) != 0) sfx::ScrambleStream(stored.data(), stored.size(), sfx::kPayloadSeed);

  const sfx::test::DecodeResult window = sfx::test::DecodeStoredWith(sfx::UnpackPayload, stored, out_size, 0);
  const sfx::test::DecodeResult direct = sfx::test::DecodeStoredWith(sfx::UnpackImage, stored, out_size, 0xEE);
  sfx::fuzz::Require(window.status && direct.status, "both decoders return true");
  sfx::fuzz::Require(direct.reports == window.reports, "the same progress chunks as the window decoder");
  sfx::fuzz::Require(direct.output == window.output, "the same output bytes as the window decoder");
  return 0;
}
