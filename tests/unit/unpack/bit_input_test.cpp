// Unscrambling reader, input buffer fills with their carry-over, and the
// MSB-first bit primitives.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/byte_order.h"
#include "support/stream_builder.h"
#include "unpack/bit_input.h"
#include "unpack/unpack_state.h"

namespace sfx {
namespace {

using test::Bytes;

UnpackStatePtr StateOver(const Bytes& stored) {
  auto state = NewUnpackState();
  state->stream_cursor = stored.data();
  state->stream_end = stored.data() + stored.size();
  return state;
}

Bytes Pattern(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
  return b;
}

// --- Unscrambling ---

TEST(ReadScrambledTest, KeyChainFollowsTheStoredWords) {
  Bytes stored(8);
  StoreLE32(stored.data(), 0x11223344u);
  StoreLE32(stored.data() + 4, 0xA0B0C0D0u);
  auto state = StateOver(stored);
  std::uint8_t out[8] = {};
  ASSERT_EQ(ReadScrambled(*state, out, 8), 8);
  EXPECT_EQ(LoadLE32(out), 0x11223344u ^ 0x5A3C9E17u);
  EXPECT_EQ(LoadLE32(out + 4), 0xA0B0C0D0u ^ (0x11223344u + 0x2E69u));
  EXPECT_EQ(state->scramble_key, 0xA0B0C0D0u + 0x2E69u);
}

TEST(ReadScrambledTest, ChangingTheFirstStoredWordChangesBothPlainWords) {
  Bytes a(8, 0x42), b(8, 0x42);
  b[0] ^= 0x01;
  auto sa = StateOver(a);
  auto sb = StateOver(b);
  std::uint8_t pa[8], pb[8];
  ASSERT_EQ(ReadScrambled(*sa, pa, 8), 8);
  ASSERT_EQ(ReadScrambled(*sb, pb, 8), 8);
  EXPECT_NE(LoadLE32(pa), LoadLE32(pb));
  EXPECT_NE(LoadLE32(pa + 4), LoadLE32(pb + 4));
}

TEST(ReadScrambledTest, RoundTripsTheTestScrambler) {
  const Bytes plain = Pattern(1001);
  const Bytes stored = test::Scramble(plain);
  auto state = StateOver(stored);
  Bytes out(1001);
  ASSERT_EQ(ReadScrambled(*state, out.data(), 1001), 1001);
  EXPECT_EQ(out, plain);
}

TEST(ReadScrambledTest, PartialLastWordReadsOnlyTheStoredBytes) {
  const Bytes plain = Pattern(6);
  // Heap copy of exactly six bytes: the sanitizer reports any read of a 7th.
  const Bytes stored = test::Scramble(plain);
  auto state = StateOver(stored);
  std::uint8_t out[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_EQ(ReadScrambled(*state, out, 8), 6);
  EXPECT_EQ(Bytes(out, out + 6), plain);
  EXPECT_EQ(out[6], 0xEE);
  EXPECT_EQ(out[7], 0xEE);
  EXPECT_EQ(state->pending_bytes, 2);
  EXPECT_EQ(ReadScrambled(*state, out, 8), -1);
}

TEST(ReadScrambledTest, ExhaustedOrEmptyStreamReturnsMinusOneAndChangesNothing) {
  const Bytes empty;
  auto state = StateOver(empty);
  std::uint8_t out[4] = {9, 9, 9, 9};
  EXPECT_EQ(ReadScrambled(*state, out, 4), -1);
  EXPECT_EQ(out[0], 9);
  EXPECT_EQ(state->scramble_key, kPayloadSeed);
  EXPECT_EQ(state->pending_bytes, 0);
}

// --- Fills ---

TEST(FillInputBufferTest, ReadsOf8192Then8160ThenTheRest) {
  const Bytes plain = Pattern(8192 + 8160 + 6);
  const Bytes stored = test::Scramble(plain);
  auto state = StateOver(stored);
  FillInputBuffer(*state, true);
  EXPECT_EQ(state->fill_level, 8192);
  EXPECT_EQ(state->byte_pos, 0);
  EXPECT_EQ(Bytes(state->input_buffer, state->input_buffer + 8192), Bytes(plain.begin(), plain.begin() + 8192));

  state->byte_pos = 8170;
  state->bit_pos = 5;
  FillInputBuffer(*state, false);
  EXPECT_EQ(state->fill_level, 8192);
  EXPECT_EQ(state->byte_pos, 10);
  EXPECT_EQ(state->bit_pos, 5u) << "a fill never moves the bit position";
  // Byte 10 of the refilled buffer is byte 8170 of the stream.
  EXPECT_EQ(Bytes(state->input_buffer, state->input_buffer + 8192),
            Bytes(plain.begin() + 8160, plain.begin() + 8160 + 8192));

  state->byte_pos = 8188;
  FillInputBuffer(*state, false);
  EXPECT_EQ(state->fill_level, 32 + 6);
  EXPECT_EQ(state->byte_pos, 28);
  EXPECT_EQ(state->pending_bytes, 2);
  EXPECT_EQ(Bytes(state->input_buffer, state->input_buffer + 38), Bytes(plain.begin() + 16320, plain.end()));

  state->byte_pos = 8170;
  FillInputBuffer(*state, false);
  EXPECT_EQ(state->fill_level, 10) << "no bytes: the fill level is the reduced byte position";
}

TEST(FillInputBufferTest, EmptyStreamLeavesTheBufferZero) {
  const Bytes empty;
  auto state = StateOver(empty);
  FillInputBuffer(*state, true);
  EXPECT_EQ(state->fill_level, -1);
  for (std::uint8_t b : state->input_buffer) ASSERT_EQ(b, 0);
}

TEST(FillInputBufferTest, RefillAfterAShortReadStillMovesTheLast32Bytes) {
  const Bytes plain = Pattern(100);
  const Bytes stored = test::Scramble(plain);
  auto state = StateOver(stored);
  for (int i = 8160; i < 8192; ++i) state->input_buffer[i] = static_cast<std::uint8_t>(i);  // never delivered
  FillInputBuffer(*state, true);
  EXPECT_EQ(state->fill_level, 100);
  state->byte_pos = 8165;
  FillInputBuffer(*state, false);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(state->input_buffer[i], static_cast<std::uint8_t>(8160 + i)) << i;
  // The first 100 bytes of the old buffer beyond the carry-over are untouched.
  EXPECT_EQ(state->input_buffer[32], plain[32]);
  EXPECT_EQ(state->fill_level, 5);
}

// --- Bits ---

TEST(BitReaderTest, PeekAndReadAcrossBytes) {
  auto state = NewUnpackState();
  state->input_buffer[0] = 0xA5;
  state->input_buffer[1] = 0x3C;
  state->input_buffer[2] = 0x0F;
  state->bit_pos = 3;
  EXPECT_EQ(PeekBits(*state), 0x29E0u);
  EXPECT_EQ(ReadBits(*state, 5), 5u);
  EXPECT_EQ(state->byte_pos, 1);
  EXPECT_EQ(state->bit_pos, 0u);
}

TEST(BitReaderTest, PeekAtBitZeroIsBigEndianAndAtBitSevenSpansThreeBytes) {
  auto state = NewUnpackState();
  state->input_buffer[10] = 0x81;
  state->input_buffer[11] = 0x42;
  state->input_buffer[12] = 0xFF;
  state->byte_pos = 10;
  EXPECT_EQ(PeekBits(*state), 0x8142u);
  state->bit_pos = 7;
  // Last bit of 0x81, all of 0x42, first seven bits of 0xFF.
  EXPECT_EQ(PeekBits(*state), (1u << 15) | (0x42u << 7) | 0x7Fu);
}

TEST(BitReaderTest, SequentialReadsReturnTheWrittenFields) {
  test::BitWriter w;
  const std::vector<std::pair<std::uint32_t, int>> fields = {{1, 1},     {0, 2},  {0x1ABC, 13}, {0xFFFF, 16},
                                                             {5, 3},     {0, 16}, {0x7F, 7},    {0x8001, 16},
                                                             {0x155, 9}, {2, 2},  {0x3FFF, 14}, {1, 1}};
  for (const auto& [value, bits] : fields) w.Put(value, bits);
  auto state = NewUnpackState();
  std::copy(w.bytes().begin(), w.bytes().end(), state->input_buffer);
  for (const auto& [value, bits] : fields) EXPECT_EQ(ReadBits(*state, static_cast<std::uint32_t>(bits)), value);
  SkipBits(*state, 0);
  EXPECT_EQ(static_cast<std::size_t>(state->byte_pos) * 8 + state->bit_pos, w.bit_count());
}

TEST(BitReaderTest, OverrunIsReportedOnlyPastTheDeliveredBits) {
  const Bytes plain = Pattern(3);
  const Bytes stored = test::Scramble(plain);
  auto state = StateOver(stored);
  FillInputBuffer(*state, true);
  SkipBits(*state, 16);
  SkipBits(*state, 8);
  EXPECT_FALSE(InputOverrun(*state)) << "all 24 bits consumed, none beyond";
  SkipBits(*state, 1);
  EXPECT_TRUE(InputOverrun(*state));
}

TEST(BitReaderTest, OverrunAccountsForRefills) {
  const Bytes plain = Pattern(8192 + 100);
  const Bytes stored = test::Scramble(plain);
  auto state = StateOver(stored);
  FillInputBuffer(*state, true);
  state->byte_pos = 8170;
  FillInputBuffer(*state, false);
  // Absolute position 8160 + 10; the stream holds 8292 bytes.
  state->byte_pos = 8292 - 8160;
  EXPECT_FALSE(InputOverrun(*state));
  SkipBits(*state, 1);
  EXPECT_TRUE(InputOverrun(*state));
}

}  // namespace
}  // namespace sfx
