// UnpackImage, the decode straight into the image buffer, against
// UnpackPayload into a zero-filled buffer: the same output bytes and the
// same progress chunks, for complete streams and for damaged ones (flipped
// bytes, truncation, a wrong output size), on encoder output of LZ and
// multimedia blocks larger than the window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support/decode_stream.h"
#include "encode/encoder.h"
#include "format/delta_predictor.h"
#include "unpack/unpack.h"

namespace sfx {
namespace {

using test::Bytes;
using test::DecodeResult;

// About 1.7 MiB: text-like runs with repeats from more than a window back,
// then 16-bit stereo samples that the encoder codes as multimedia blocks.
Bytes SampleImage() {
  std::mt19937 random(13);
  Bytes data;
  const char* words[] = {"window ", "match ", "literal ", "distance ", "channel ", "table\n"};
  while (data.size() < 600000) {
    const char* w = words[random() % 6];
    while (*w != 0) data.push_back(static_cast<std::uint8_t>(*w++));
    if (random() % 7 == 0) data.push_back(static_cast<std::uint8_t>(random()));
  }
  const Bytes head(data.begin(), data.begin() + 300000);
  for (int i = 0; i < 500000; ++i) data.push_back(static_cast<std::uint8_t>(random() >> 24));
  data.insert(data.end(), head.begin(), head.end());  // 1.1 MB back: beyond the window
  data.insert(data.end(), head.begin(), head.begin() + 1000);
  for (int i = 0; i < 150000; ++i) {
    const double t = i / 44100.0;
    const auto left = static_cast<std::int16_t>(9000 * std::sin(2 * 3.14159 * 220 * t) + (random() % 64));
    const auto right = static_cast<std::int16_t>(7000 * std::sin(2 * 3.14159 * 330 * t) + (random() % 64));
    for (const std::int16_t v : {left, right}) {
      data.push_back(static_cast<std::uint8_t>(v));
      data.push_back(static_cast<std::uint8_t>(v >> 8));
    }
  }
  return data;
}

DecodeResult DecodeImage(const Bytes& stored, std::size_t out_size) {
  return test::DecodeStoredWith(UnpackImage, stored, out_size);
}

void ExpectSameAsWindowDecode(const Bytes& stored, std::size_t out_size) {
  const DecodeResult window = test::DecodeStored(stored, out_size, 0);
  // Not zero-filled: UnpackImage must not rely on it.
  const DecodeResult direct = DecodeImage(stored, out_size);
  EXPECT_EQ(direct.status, window.status);
  EXPECT_EQ(direct.reports, window.reports);
  EXPECT_TRUE(direct.output == window.output) << "output differs";
}

class UnpackImageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    image_ = new Bytes(SampleImage());
    EncodeOptions options;
    options.level = 1;
    stored_ = new Bytes(test::Scramble(CompressStream(image_->data(), image_->size(), options)));
  }
  static void TearDownTestSuite() {
    delete image_;
    delete stored_;
  }
  static Bytes* image_;
  static Bytes* stored_;
};

Bytes* UnpackImageTest::image_ = nullptr;
Bytes* UnpackImageTest::stored_ = nullptr;

TEST_F(UnpackImageTest, CompleteStreamDecodesAsThroughTheWindow) {
  const DecodeResult direct = test::DecodeStoredWith(UnpackImage, *stored_, image_->size());
  EXPECT_TRUE(direct.output == *image_);
  ExpectSameAsWindowDecode(*stored_, image_->size());
}

// The portable predictor, which the stub runs on a processor without SSE2
// (forced here on any processor), decodes the multimedia blocks the same.
TEST_F(UnpackImageTest, PortablePredictorDecodesTheSame) {
  ForcePortablePredictor(true);
  const DecodeResult portable = DecodeImage(*stored_, image_->size());
  ForcePortablePredictor(false);
  EXPECT_TRUE(portable.output == *image_);
}

// The 32-bit and the 64-bit bit buffer read the same bits: the same output
// and chunks for the complete stream, a truncated and a damaged one.
TEST_F(UnpackImageTest, NarrowAndWideBitBuffersDecodeTheSame) {
  Bytes truncated(stored_->begin(), stored_->begin() + static_cast<std::ptrdiff_t>(stored_->size() / 2));
  Bytes damaged = *stored_;
  damaged[damaged.size() / 3] ^= 0x5A;
  for (const Bytes* stream : {stored_, &truncated, &damaged}) {
    UseNarrowBitReader(true);
    const DecodeResult narrow = DecodeImage(*stream, image_->size());
    const DecodeResult narrow_window = test::DecodeStored(*stream, image_->size(), 0);
    UseNarrowBitReader(false);
    const DecodeResult wide = DecodeImage(*stream, image_->size());
    UseNarrowBitReader(sizeof(void*) < 8);
    EXPECT_EQ(narrow.reports, wide.reports);
    EXPECT_TRUE(narrow.output == wide.output);
    EXPECT_TRUE(narrow_window.output == wide.output);
  }
}

TEST_F(UnpackImageTest, WrongOutputSizeDecodesAsThroughTheWindow) {
  const std::size_t n = image_->size();
  for (const std::size_t size : {n - 1, n + 1, n - 300, n + 5000, n / 2, std::size_t{1500}, std::size_t{0}}) {
    SCOPED_TRACE(size);
    ExpectSameAsWindowDecode(*stored_, size);
  }
}

TEST_F(UnpackImageTest, DamagedStreamDecodesAsThroughTheWindow) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 12; ++trial) {
    SCOPED_TRACE(trial);
    Bytes damaged = *stored_;
    if (trial % 3 == 0) {
      damaged.resize(random() % damaged.size());
    } else {
      for (int flips = 0; flips < 1 + trial % 4; ++flips)
        damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
    }
    ExpectSameAsWindowDecode(damaged, image_->size());
  }
}

}  // namespace
}  // namespace sfx
