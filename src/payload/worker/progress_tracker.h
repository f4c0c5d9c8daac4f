// ProgressTracker: turns byte counts into the whole percentage that the
// progress dialog paints.
//
// Two passes are counted against one total: the decoder reports every byte
// it copies into the image (U bytes) and the file writer every byte it
// writes (the entries' data, about U - 52 bytes). Hence bytes_expected is
// 2U - 52 and the percentage reaches 50 when the image is complete.
#pragma once

#include <windows.h>

#include <cstdint>

namespace sfx {

// Progress counters of one extraction and the control that shows them.
struct ProgressTracker {
  std::uint32_t bytes_done;
  std::uint32_t bytes_expected;
  std::uint32_t bytes_per_percent;
  std::uint32_t last_percent;
  HWND control;
};

// A fresh tracker for an image of `unpacked_size` bytes. An image below the
// 52-byte header cannot be valid; its tracker expects 0 bytes and never
// publishes a percentage (it is refused as corrupt right after decoding).
ProgressTracker MakeProgressTracker(std::uint32_t unpacked_size, HWND control);

// The percentage for the tracker's current bytes_done, rounded half up,
// all in unsigned 32-bit arithmetic. 0 when nothing is expected.
std::uint32_t TrackerPercent(const ProgressTracker& tracker);

// Adds `bytes` and, when the whole percentage changed, stores it in the
// control's user-data word and invalidates the control with erase.
void Advance(ProgressTracker& tracker, std::uint32_t bytes);

// Advance in the shape of the decoder's progress sink: `context` is the
// ProgressTracker of the running extraction (nothing happens when it is null).
void ReportProgressSink(void* context, std::uint32_t bytes);

}  // namespace sfx
