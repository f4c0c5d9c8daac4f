// Progress arithmetic of the extraction (see progress_tracker.h).
//
// For totals above 41,942 bytes the percentage is (2 * done) / (total / 100),
// otherwise (200 * done) / total; both give the doubled percentage, which is
// rounded half up by (p + 1) >> 1. The switch point keeps 200 * done inside
// 32 bits for small totals and avoids a coarse divisor for large ones.
#include "payload/worker/progress_tracker.h"

#include "payload/payload_format.h"

namespace sfx {

ProgressTracker MakeProgressTracker(std::uint32_t unpacked_size, HWND control) {
  ProgressTracker tracker{};
  if (unpacked_size >= kImageHeaderSize) {
    tracker.bytes_expected = 2u * unpacked_size - static_cast<std::uint32_t>(kImageHeaderSize);
  }
  tracker.bytes_per_percent = tracker.bytes_expected / 100u;
  tracker.control = control;
  return tracker;
}

std::uint32_t TrackerPercent(const ProgressTracker& tracker) {
  if (tracker.bytes_expected == 0) return 0;
  std::uint32_t doubled;
  if (tracker.bytes_expected > 41942u) {
    doubled = (tracker.bytes_done * 2u) / tracker.bytes_per_percent;
  } else {
    doubled = (tracker.bytes_done * 200u) / tracker.bytes_expected;
  }
  return (doubled + 1u) >> 1;
}

void Advance(ProgressTracker& tracker, std::uint32_t bytes) {
  tracker.bytes_done += bytes;
  const std::uint32_t percent = TrackerPercent(tracker);
  if (percent == tracker.last_percent) return;
  SetWindowLongPtrA(tracker.control, GWLP_USERDATA, static_cast<LONG_PTR>(percent));
  tracker.last_percent = percent;
  InvalidateRect(tracker.control, nullptr, TRUE);
}

void ReportProgressSink(void* context, std::uint32_t bytes) {
  if (context != nullptr) Advance(*static_cast<ProgressTracker*>(context), bytes);
}

}  // namespace sfx
