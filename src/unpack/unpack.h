// Decompressor of the payload stream: unscrambling reader, canonical prefix
// codes, LZ77 over a 1 MiB window and the multimedia delta mode.
//
// All decoder state lives in one UnpackState record. A program may hold more
// than one; each behaves as the single decoder of the stub would, including
// the scramble key chain, which starts at the payload seed when the state is
// made and is never reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace sfx {

struct UnpackState;  // defined in unpack/unpack_state.h

struct UnpackStateDeleter {
  void operator()(UnpackState* state) const;
};
using UnpackStatePtr = std::unique_ptr<UnpackState, UnpackStateDeleter>;

// A fresh state as at process start (scramble key = payload seed, input
// buffer zero, tables empty). Returns null when memory cannot be had.
UnpackStatePtr NewUnpackState();

// Receives the length of every chunk that the decoder copies into the output
// (ReportProgress in the stub). May be left unset.
using ProgressSink = void (*)(void* context, std::uint32_t bytes);
void SetProgressSink(UnpackState& state, ProgressSink sink, void* context);

// Decodes the scrambled stream [stream_start, stream_end) into the output
// buffer [out_start, out_end). Returns true; false only when the 1 MiB
// window cannot be allocated (nothing is decoded then). A damaged stream is
// not detected here: the output is then incomplete or wrong and fails the
// image checks. The decoder never reads or writes outside the given ranges
// and always terminates.
bool UnpackPayload(UnpackState& state, const std::uint8_t* stream_start, const std::uint8_t* stream_end,
                   std::uint8_t* out_start, std::uint8_t* out_end);

// UnpackPayload for a caller that holds the whole image in memory: decodes
// straight into [out_start, out_end), which need not be initialised, and
// reports the same chunks. The output ends up as UnpackPayload leaves a
// zero-filled buffer: bytes that the decoder does not deliver (a damaged
// stream) are zero. Returns false, with the output unset, when the 1 MiB
// window cannot be allocated.
bool UnpackImage(UnpackState& state, const std::uint8_t* stream_start, const std::uint8_t* stream_end,
                 std::uint8_t* out_start, std::uint8_t* out_end);

// Chooses the bit buffer of the decoding loop: 32 bits wide (the default on
// 32-bit processors, where a 64-bit buffer takes pairs of registers) or 64
// bits wide (the default elsewhere). Both read the same bits; tests and
// benchmarks switch to exercise the other one.
void UseNarrowBitReader(bool narrow);

}  // namespace sfx
