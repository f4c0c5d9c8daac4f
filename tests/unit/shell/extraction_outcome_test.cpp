// The entry's reading of the run's outcome after the dialog: launch on a
// positive outcome, silence on a negative one, and for 0 the message and a
// second read that sees a worker finishing meanwhile.
#include "shell/extraction_outcome.h"

#include <gtest/gtest.h>

namespace sfx {
namespace {

int reports = 0;
LONG outcome_after_report = 0;
StubRun* test_run = nullptr;  // the run whose outcome the report changes

void CountingReport(const StubRun& /*run*/) {
  ++reports;
  InterlockedExchange(&test_run->outcome, outcome_after_report);
}

class OutcomeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reports = 0;
    test_run = &run_;
  }
  void TearDown() override { test_run = nullptr; }

  bool ReadWith(LONG outcome, LONG after_report) {
    InterlockedExchange(&run_.outcome, outcome);
    outcome_after_report = after_report;
    return OutcomeAllowsLaunch(run_, CountingReport);
  }

  StubRun run_;
};

TEST_F(OutcomeTest, SuccessLaunchesWithoutMessage) {
  EXPECT_TRUE(ReadWith(1, 0));
  EXPECT_EQ(reports, 0);
}

TEST_F(OutcomeTest, ReportedFailureEndsSilently) {
  EXPECT_FALSE(ReadWith(-1, 1));
  EXPECT_EQ(reports, 0);
}

TEST_F(OutcomeTest, NoResultShowsMessageThenLaunchesWhenWorkerFinishedMeanwhile) {
  EXPECT_TRUE(ReadWith(0, 1));
  EXPECT_EQ(reports, 1);
}

TEST_F(OutcomeTest, NoResultStillZeroOrNegativeAfterMessageDoesNotLaunch) {
  EXPECT_FALSE(ReadWith(0, 0));
  EXPECT_EQ(reports, 1);
  EXPECT_FALSE(ReadWith(0, -1));
  EXPECT_EQ(reports, 2);
}

}  // namespace
}  // namespace sfx
