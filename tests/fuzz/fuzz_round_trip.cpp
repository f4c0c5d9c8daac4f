// Fuzz target: encoder and decoder together. Arbitrary bytes are compressed
// at a level taken from the input, scrambled with the payload seed and
// decoded as the stub and sfxpack decode (UnpackImage); the decoder must give
// back exactly the input bytes.
//
// Input layout: byte 0 selects the level (1 to 9), bit 4 of byte 0 forbids
// multimedia blocks; the rest is the data.
#include <cstdint>
#include <cstring>
#include <vector>

#include "encode/encoder.h"
#include "format/scramble_key.h"
#include "fuzz_support.h"
#include "unpack/unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  sfx::EncodeOptions options;
  options.level = 1 + (data[0] & 0x0F) % 9;
  options.allow_multimedia = (data[0] & 0x10) == 0;
  const std::uint8_t* plain = data + 1;
  const std::size_t plain_size = size - 1;

  std::vector<std::uint8_t> stream = sfx::CompressStream(plain, plain_size, options);
  sfx::ScrambleStream(stream.data(), stream.size(), sfx::kPayloadSeed);

  // One spare byte past the output, filled with a marker: the decoder is
  // given the exact range and must leave the spare byte alone.
  std::vector<std::uint8_t> out(plain_size + 1, 0xA5);
  sfx::UnpackStatePtr state = sfx::NewUnpackState();
  sfx::fuzz::Require(state != nullptr, "decoder state");
  const bool decoded =
      sfx::UnpackImage(*state, stream.data(), stream.data() + stream.size(), out.data(), out.data() + plain_size);
  sfx::fuzz::Require(decoded, "UnpackImage returns true");
  sfx::fuzz::Require(out[plain_size] == 0xA5, "decoder wrote past the output range");
  sfx::fuzz::Require(plain_size == 0 || std::memcmp(out.data(), plain, plain_size) == 0,
                     "round trip gives back the input bytes");
  return 0;
}
