// Payload blocks of hostile images: a few hundred kilobytes of stream that
// decode to a directory of millions of entries, or of many entries that
// all point at one large range. The stream is written with a literal code
// in which "repeat the last match" costs one bit, so each bit of stream
// yields a whole match of image; the image header and directory CRCs are
// right, so the readers get as far as the directory.
#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_order.h"
#include "payload/payload_format.h"
#include "support/decode_stream.h"
#include "support/payload_samples.h"
#include "support/stream_builder.h"

namespace sfx::test {

// Builds an image stream piece by piece: bytes as literals, and runs that
// repeat the last `period` bytes.
class RepeatingImageStream {
 public:
  RepeatingImageStream() {
    Lengths literal(kLiteralSymbols, 10);
    literal[kSymbolRepeatPrevious] = 1;
    builder_.LzTables(literal);
  }

  void Append(const Bytes& bytes) {
    for (std::uint8_t b : bytes) builder_.Literal(b);
    size_ += bytes.size();
  }

  // `length` more bytes, each equal to the byte `period` (1 to 256) before it.
  void Repeat(std::uint32_t period, std::uint64_t length) {
    constexpr std::uint32_t kStep = 200;  // a long match, then repeats of it
    std::uint64_t steps = length / kStep;
    std::uint32_t rest = static_cast<std::uint32_t>(length % kStep);
    if (rest != 0 && rest < 3 && steps != 0) {  // a match is at least 3 bytes
      --steps;
      rest += kStep;
    }
    for (std::uint64_t i = 0; i < steps; ++i) {
      if (i == 0) builder_.LongMatch(kStep, period);
      if (i != 0) builder_.Literal(kSymbolRepeatPrevious);
    }
    if (rest != 0) builder_.LongMatch(rest, period);
    size_ += length;
  }

  std::uint64_t size() const { return size_; }

  // The EmbeddedPayload block: P, U = size(), and the scrambled stream.
  Bytes Block() {
    const Bytes stored = Scramble(builder_.Finish());
    Bytes block(kEmbeddedHeaderSize);
    StoreLE32(block.data(), static_cast<std::uint32_t>(stored.size()));
    StoreLE32(block.data() + 4, static_cast<std::uint32_t>(size_));
    block.insert(block.end(), stored.begin(), stored.end());
    return block;
  }

 private:
  StreamBuilder builder_;
  std::uint64_t size_ = 0;
};

// The payload block of an image whose directory holds `entries` entries,
// all named `name` (one character) and all pointing at the same
// `data_size` zero bytes after the directory (none for 0). Directory CRC
// over no bytes; every CRC right.
inline Bytes RepeatedEntryBlock(std::uint64_t entries, char name, std::uint32_t data_size) {
  constexpr std::uint32_t kEntrySize = 24 + 2;
  const std::uint64_t data_offset = kImageHeaderSize + kEntrySize * entries + 4;
  Bytes head(kImageHeaderSize + kEntrySize, 0);
  std::copy(kImageSignature, kImageSignature + kImageSignatureSize, head.begin() + 4);
  StoreLE32(head.data() + 0x24, kImageHeaderSize);  // dir_offset; dir_crc_length 0
  StoreLE32(head.data() + 0x28, kPayloadSeed);      // the CRC of no bytes
  StoreLE32(head.data() + 0x2C, static_cast<std::uint32_t>(data_offset + data_size));
  StoreLE32(head.data() + 0, ReferenceCrc(head.data() + 4, kImageHeaderSize - 4));
  std::uint8_t* entry = head.data() + kImageHeaderSize;
  const Bytes data(data_size, 0);
  StoreLE32(entry, 2);
  StoreLE32(entry + 4, ReferenceCrc(data.data(), data.size()));
  StoreLE32(entry + 8, data_size);
  StoreLE32(entry + 12, data_size == 0 ? 0 : static_cast<std::uint32_t>(data_offset));
  entry[24] = static_cast<std::uint8_t>(name);

  RepeatingImageStream stream;
  stream.Append(head);
  stream.Repeat(kEntrySize, kEntrySize * (entries - 1));
  stream.Append(Bytes(data_size == 0 ? 4 : 5, 0));  // the 0 word, and the first data byte
  if (data_size > 1) stream.Repeat(1, data_size - 1);
  return stream.Block();
}

// The shapes of the security review: a 250 KB file with 18 million
// identical entries, a 1 MB file with 75 million, a few KB whose 160,000
// entries share 1 MiB of data (RepeatedEntryBlock builds each).
struct HostileShape {
  const char* name;
  std::uint64_t entries;
  std::uint32_t data_size;
};
inline constexpr HostileShape kHostileShapes[] = {
    {"18 million identical entries", 18'000'000, 0},
    {"75 million identical entries", 75'000'000, 0},
    {"160,000 entries sharing 1 MiB", 160'000, 1u << 20},
};

}  // namespace sfx::test
