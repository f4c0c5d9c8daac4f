// The LZ decoding loop over a 1 MiB window and its output path.
//
// Literals and matches are decoded with the code tables into the window;
// every match's distance goes into a ring of the last four distances. The
// finished part of the window is copied into the output buffer whenever
// fewer than 270 free window bytes are left, and once at the end.
#pragma once

#include <cstdint>

#include "format/stream_format.h"

namespace sfx {

struct UnpackState;

inline constexpr std::uint32_t kWindowMask = kWindowSize - 1;

// Clears the decoder state before a decode (not the scramble key chain).
void ResetUnpackState(UnpackState& state);

// Runs the whole decode into `window` (kWindowSize bytes).
void DecodeLoop(UnpackState& state, std::uint8_t* window);

// The same decode one step per loop pass, with every test at the top of
// each step; the plain form of DecodeLoop, which must match it byte for
// byte and chunk for chunk (kept for tests and comparisons).
void DecodeLoopStepwise(UnpackState& state, std::uint8_t* window);

// Copies state.match_length bytes from state.match_distance back.
void CopyMatch(UnpackState& state);

// Writes the window bytes between flushed_pos and window_pos to the output.
void FlushWindow(UnpackState& state);

// Copies n bytes to the output; -1 (and nothing written) when they do not fit.
std::int32_t WriteOutput(UnpackState& state, const std::uint8_t* data, std::uint32_t n);

// Consumes a table change placed after the last output byte.
void ReadTrailingTables(UnpackState& state);

}  // namespace sfx
