// The decompressor's state record.
//
// One record holds everything a decode needs, grouped by layer: the
// unscrambling reader and bit input, the code tables, the LZ loop with its
// window and output, and the multimedia predictors. The scramble key and
// pending_bytes start with the record and are never reset, so a record
// decodes one payload, as the stub's single decoder does.
#pragma once

#include <cstdint>

#include "format/delta_predictor.h"
#include "format/scramble_key.h"
#include "format/stream_format.h"
#include "unpack/decode_table.h"
#include "unpack/unpack.h"

namespace sfx {

// The input buffer: filled with kInputBufferSize plain bytes at first, then
// refilled kInputRefillSize bytes at a time behind a kInputCarryOver-byte
// carry-over (see FillInputBuffer).
inline constexpr int kInputBufferSize = 8192;
inline constexpr int kInputCarryOver = 32;
inline constexpr int kInputRefillSize = kInputBufferSize - kInputCarryOver;  // 8160
// A byte behind the buffer that is never written: PeekBits loads four bytes
// where the refill thresholds keep only three inside the buffer.
inline constexpr int kInputPeekSlack = 1;

// Every field of one decoder, from process start to the end of its decode.
struct UnpackState {
  // --- Scrambled input and bit reader ---
  const std::uint8_t* stream_cursor = nullptr;  // next stored word (never moved past stream_end)
  const std::uint8_t* stream_end = nullptr;
  std::uint32_t scramble_key = kPayloadSeed;
  std::int32_t pending_bytes = 0;
  std::uint8_t input_buffer[kInputBufferSize + kInputPeekSlack] = {};
  std::int32_t byte_pos = 0;
  std::uint32_t bit_pos = 0;
  std::int32_t fill_level = 0;

  // --- Code tables ---
  DecodeTable bit_length_table;
  DecodeTable literal_table;
  DecodeTable distance_table;
  DecodeTable repeat_table;
  DecodeTable channel_tables[kMaxChannels];
  std::uint8_t previous_lengths[kMaxTableSize] = {};
  std::uint32_t multimedia_mode = 0;
  std::int32_t channel_count = 1;
  std::int32_t current_channel = 0;

  // --- LZ decoding loop ---
  std::uint8_t* window = nullptr;
  std::uint32_t window_pos = 0;
  std::uint32_t flushed_pos = 0;
  std::int32_t remaining_output = 0;
  std::uint8_t* output_cursor = nullptr;
  std::uint8_t* output_end = nullptr;
  std::int32_t prev_length = 0;
  std::uint32_t prev_distance = 0;
  std::uint32_t distance_ring[kRecentDistances] = {};
  std::uint32_t ring_index = 0;

  // --- Multimedia delta predictor ---
  DeltaPredictor predictor;

  // --- Guards and hooks of this implementation ---
  // Index in input_buffer just past the last plain byte that the stream has
  // delivered (it moves down by 8160 with each refill); reading bits beyond
  // it means reading past the stream's end (InputOverrun).
  std::int32_t input_end = 0;
  ProgressSink progress_sink = nullptr;
  void* progress_context = nullptr;
};

}  // namespace sfx
