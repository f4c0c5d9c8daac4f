// Fuzz target: the payload stream decoder, as the stub and sfxpack call it
// (UnpackImage, straight into the image buffer), on arbitrary stored streams.
//
// Input layout:
//   byte 0      mode; bit 0 set: the rest is a plain stream that is scrambled
//               with the payload seed before decoding (so mutations act on
//               the code bits rather than on scrambled words)
//   bytes 1-3   output size, little-endian, below 4 MiB (the output budget)
//   the rest    the stream
// Properties: the decoder returns true, stays inside both buffers (exact-size
// heap buffers, so the address sanitizer sees any overrun; the output is left
// uninitialised, as the stub leaves it) and reports no more bytes than the
// output holds.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "encode/encoder.h"
#include "format/scramble_key.h"
#include "fuzz_support.h"
#include "unpack/unpack.h"

namespace {

constexpr std::size_t kPrefixSize = 4;
constexpr std::uint32_t kOutputSizeMask = 0x3FFFFF;

void CountBytes(void* context, std::uint32_t bytes) { *static_cast<std::uint64_t*>(context) += bytes; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kPrefixSize) return 0;
  const bool scramble = (data[0] & 1) != 0;
  const std::size_t out_size = sfx::fuzz::LoadLE(data + 1, 3) & kOutputSizeMask;
  const std::size_t stream_size = size - kPrefixSize;

  // Exact-size copies: the decoder must not touch a byte beyond either end.
  auto* stream = static_cast<std::uint8_t*>(std::malloc(stream_size == 0 ? 1 : stream_size));
  auto* out = static_cast<std::uint8_t*>(std::malloc(out_size == 0 ? 1 : out_size));
  sfx::fuzz::Require(stream != nullptr && out != nullptr, "test buffers");
  for (std::size_t i = 0; i < stream_size; ++i) stream[i] = data[kPrefixSize + i];
  if (scramble) sfx::ScrambleStream(stream, stream_size, sfx::kPayloadSeed);

  sfx::UnpackStatePtr state = sfx::NewUnpackState();
  sfx::fuzz::Require(state != nullptr, "decoder state");
  std::uint64_t reported = 0;
  sfx::SetProgressSink(*state, &CountBytes, &reported);
  const bool decoded = sfx::UnpackImage(*state, stream, stream + stream_size, out, out + out_size);
  sfx::fuzz::Require(decoded, "UnpackImage returns true");
  sfx::fuzz::Require(reported <= out_size, "progress reports no more bytes than the output holds");

  std::free(out);
  std::free(stream);
  return 0;
}
