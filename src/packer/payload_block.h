// Turns a finished image into an EmbeddedPayload block and back.
//
// The block is packed_size (P), unpacked_size (U), then the P bytes of the
// compressed stream scrambled with the payload seed. Decoding reverses it
// with the same decompressor the stub uses.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "encode/encoder.h"
#include "packer/payload_file.h"
#include "packer/progress_report.h"

namespace sfx {

// Compresses and scrambles `image` into a block. Throws PackError when the
// stream would not fit the 32-bit size field.
std::vector<std::uint8_t> BuildPayloadBlock(const std::vector<std::uint8_t>& image, const EncodeOptions& options);

// Called with the number of image bytes decoded so far.
using DecodeProgress = std::function<void(std::uint64_t done)>;

// Decodes P stream bytes at `stream` into an image of exactly U bytes, as the
// stub does. The stream's integrity is not judged here (the image checks do
// that). Throws PackError, before allocating anything, when U exceeds what
// P stream bytes can decode to (MaxUnpackedSize), and when U bytes cannot be
// allocated.
std::vector<std::uint8_t> DecodePayloadStream(const std::uint8_t* stream, std::uint32_t packed_size,
                                              std::uint32_t unpacked_size, const DecodeProgress& progress);

// Decodes the payload of an installer or payload block file, reporting
// ProgressStage::kDecoding; as DecodePayloadStream otherwise.
std::vector<std::uint8_t> DecodePayloadFile(const PayloadFile& file, const ProgressReport& progress);

// Decodes `block` again and compares the result with `image`; throws
// PackError when they differ. Guards against shipping an installer that
// would not unpack.
void VerifyPayloadBlock(const std::vector<std::uint8_t>& block, const std::vector<std::uint8_t>& image);

}  // namespace sfx
