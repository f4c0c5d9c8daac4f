// EmbeddedPayload blocks: 8-byte header, then the scrambled stream.
#include "packer/payload_block.h"

#include <cstring>
#include <exception>

#include "common/byte_order.h"
#include "packer/image_builder.h"
#include "packer/pack_error.h"
#include "payload/crc32.h"
#include "payload/payload_format.h"
#include "unpack/output_buffer.h"
#include "unpack/unpack.h"

namespace sfx {

namespace {

struct SinkContext {
  const DecodeProgress* progress;
  std::uint64_t done;
};

void ForwardProgress(void* context, std::uint32_t bytes) {
  auto* sink = static_cast<SinkContext*>(context);
  sink->done += bytes;
  (*sink->progress)(sink->done);
}

}  // namespace

std::vector<std::uint8_t> BuildPayloadBlock(const std::vector<std::uint8_t>& image, const EncodeOptions& options) {
  if (image.size() > ImageBuilder::kMaxImageSize) {
    throw PackError("image larger than " + std::to_string(ImageBuilder::kMaxImageSize) + " bytes");
  }
  std::vector<std::uint8_t> stream = CompressStream(image.data(), image.size(), options);
  if (stream.size() > 0xFFFFFFFFu - kEmbeddedHeaderSize) {
    throw PackError("compressed stream larger than the 32-bit size field allows");
  }
  ScrambleStream(stream.data(), stream.size(), kPayloadSeed);
  std::vector<std::uint8_t> block(kEmbeddedHeaderSize + stream.size());
  StoreLE32(block.data() + kPackedSizeOffset, static_cast<std::uint32_t>(stream.size()));
  StoreLE32(block.data() + kUnpackedSizeOffset, static_cast<std::uint32_t>(image.size()));
  if (!stream.empty()) std::memcpy(block.data() + kEmbeddedHeaderSize, stream.data(), stream.size());
  return block;
}

std::vector<std::uint8_t> DecodePayloadStream(const std::uint8_t* stream, std::uint32_t packed_size,
                                              std::uint32_t unpacked_size, const DecodeProgress& progress) {
  // Checked before the buffer exists: an 8-byte file must not make us
  // allocate gigabytes for an image its stream cannot fill.
  if (!UnpackedSizeFits(EmbeddedPayload{packed_size, unpacked_size, stream})) {
    throw PackError("corrupt payload: unpacked size " + std::to_string(unpacked_size) + " bytes is more than " +
                    std::to_string(packed_size) + " stored bytes can decode to (at most " +
                    std::to_string(MaxUnpackedSize(packed_size)) + ")");
  }
  std::vector<std::uint8_t> image;
  try {
    // Allocated first and advised before the zero-fill touches it.
    image.reserve(unpacked_size);
    AdviseOutputBuffer(image.data(), unpacked_size);
    image.assign(unpacked_size, 0);
  } catch (const std::exception&) {  // bad_alloc, or length_error in a 32-bit process
    throw PackError("not enough memory for an image of " + std::to_string(unpacked_size) + " bytes");
  }
  UnpackStatePtr state = NewUnpackState();
  if (!state) throw PackError("not enough memory for the decoder");
  SinkContext context{&progress, 0};
  if (progress) SetProgressSink(*state, &ForwardProgress, &context);
  // UnpackImage takes pointer ranges; an empty range still needs a valid
  // address, which a zero-length vector does not promise.
  static const std::uint8_t kNothing = 0;
  const std::uint8_t* in = packed_size != 0 ? stream : &kNothing;
  std::uint8_t dummy = 0;
  std::uint8_t* out = unpacked_size != 0 ? image.data() : &dummy;
  if (!UnpackImage(*state, in, in + packed_size, out, out + unpacked_size)) {
    throw PackError("not enough memory for the decoder's window");
  }
  return image;
}

std::vector<std::uint8_t> DecodePayloadFile(const PayloadFile& file, const ProgressReport& progress) {
  DecodeProgress decode_progress;
  if (progress) {
    decode_progress = [&progress, &file](std::uint64_t done) {
      progress(ProgressStage::kDecoding, done, file.unpacked_size);
    };
  }
  return DecodePayloadStream(file.stream(), file.packed_size, file.unpacked_size, decode_progress);
}

void VerifyPayloadBlock(const std::vector<std::uint8_t>& block, const std::vector<std::uint8_t>& image) {
  EmbeddedPayload payload;
  if (!ParseEmbeddedPayload(block.data(), block.size(), payload) || payload.unpacked_size != image.size()) {
    throw PackError("internal error: the payload block header does not describe the image");
  }
  const std::vector<std::uint8_t> decoded =
      DecodePayloadStream(payload.stream, payload.packed_size, payload.unpacked_size, DecodeProgress{});
  if (decoded != image) {
    throw PackError("internal error: the compressed payload does not decode to the image; nothing written");
  }
}

}  // namespace sfx
