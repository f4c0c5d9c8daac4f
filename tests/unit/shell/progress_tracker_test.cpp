// Progress arithmetic of the extraction and its publication to the control.
#include "payload/worker/progress_tracker.h"

#include <gtest/gtest.h>

namespace sfx {
namespace {

ProgressTracker TrackerExpecting(std::uint32_t bytes_expected) {
  ProgressTracker tracker{};
  tracker.bytes_expected = bytes_expected;
  tracker.bytes_per_percent = bytes_expected / 100;
  return tracker;
}

std::uint32_t PercentAfter(ProgressTracker tracker, std::uint32_t bytes_done) {
  tracker.bytes_done = bytes_done;
  return TrackerPercent(tracker);
}

// A hidden window standing in for the progress control.
class ControlWindow {
 public:
  ControlWindow() : window_(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr)) {}
  ~ControlWindow() { DestroyWindow(window_); }
  HWND get() const { return window_; }
  LONG_PTR user_data() const { return GetWindowLongPtrA(window_, GWLP_USERDATA); }
  void set_user_data(LONG_PTR value) const { SetWindowLongPtrA(window_, GWLP_USERDATA, value); }

 private:
  HWND window_;
};

TEST(ProgressTrackerCreation, TotalCountsDecoderAndWriterPasses) {
  const ProgressTracker tracker = MakeProgressTracker(517931, nullptr);
  EXPECT_EQ(tracker.bytes_done, 0u);
  EXPECT_EQ(tracker.bytes_expected, 1035810u);
  EXPECT_EQ(tracker.bytes_per_percent, 10358u);
  EXPECT_EQ(tracker.last_percent, 0u);
}

TEST(ProgressTrackerCreation, ImageBelowHeaderSizeExpectsNothing) {
  for (std::uint32_t size : {0u, 1u, 26u, 51u}) {
    const ProgressTracker tracker = MakeProgressTracker(size, nullptr);
    EXPECT_EQ(tracker.bytes_expected, 0u) << size;
    EXPECT_EQ(PercentAfter(tracker, 1000), 0u) << size;
  }
  EXPECT_EQ(MakeProgressTracker(52, nullptr).bytes_expected, 52u);
}

TEST(ProgressTrackerPercent, HalfwayWhenImageDecodedAndFullWhenWritten) {
  const ProgressTracker tracker = MakeProgressTracker(517931, nullptr);
  EXPECT_EQ(PercentAfter(tracker, 517931), 50u);
  EXPECT_EQ(PercentAfter(tracker, 1035810), 100u);
  EXPECT_EQ(PercentAfter(tracker, 0), 0u);
}

TEST(ProgressTrackerPercent, SmallTotalsUseTheExactForm) {
  // 629 of 41,942 is 1.4998%: the x200 form rounds it to 1, while the x2
  // form with its truncated divisor 419 would give 2.
  EXPECT_EQ(PercentAfter(TrackerExpecting(41942), 629), 1u);
  EXPECT_EQ(PercentAfter(TrackerExpecting(41943), 629), 2u);
}

TEST(ProgressTrackerPercent, RoundsHalfUp) {
  const ProgressTracker tracker = TrackerExpecting(1000);
  EXPECT_EQ(PercentAfter(tracker, 4), 0u);
  EXPECT_EQ(PercentAfter(tracker, 5), 1u);
  EXPECT_EQ(PercentAfter(tracker, 14), 1u);
  EXPECT_EQ(PercentAfter(tracker, 15), 2u);
  EXPECT_EQ(PercentAfter(tracker, 1000), 100u);
}

TEST(ProgressTrackerAdvance, PublishesChangedPercentToControl) {
  ControlWindow control;
  ProgressTracker tracker = MakeProgressTracker(526, control.get());  // expects 1,000 bytes
  Advance(tracker, 4);
  EXPECT_EQ(tracker.bytes_done, 4u);
  EXPECT_EQ(control.user_data(), 0);
  Advance(tracker, 496);
  EXPECT_EQ(tracker.last_percent, 50u);
  EXPECT_EQ(control.user_data(), 50);
}

TEST(ProgressTrackerAdvance, LeavesControlAloneWhilePercentStays) {
  ControlWindow control;
  ProgressTracker tracker = MakeProgressTracker(526, control.get());
  Advance(tracker, 300);
  ASSERT_EQ(control.user_data(), 30);
  control.set_user_data(777);  // a marker that only a new publication overwrites
  Advance(tracker, 4);
  EXPECT_EQ(control.user_data(), 777);
  Advance(tracker, 1);
  EXPECT_EQ(control.user_data(), 31);
}

TEST(ProgressTrackerAdvance, ReportProgressSinkFeedsItsTracker) {
  ControlWindow control;
  ProgressTracker tracker = MakeProgressTracker(526, control.get());
  ReportProgressSink(&tracker, 250);
  ReportProgressSink(nullptr, 1);  // no tracker yet: nothing to count on
  ReportProgressSink(&tracker, 250);
  EXPECT_EQ(tracker.bytes_done, 500u);
  EXPECT_EQ(control.user_data(), 50);
}

}  // namespace
}  // namespace sfx
