// The entry's reading of ExtractionOutcome after the dialog: launch on a
// positive outcome, silence on a negative one, and for 0 the message and a
// second read that sees a worker finishing meanwhile.
#include "shell/extraction_outcome.h"

#include <gtest/gtest.h>

#include "shell/stub_globals.h"

namespace sfx {
namespace {

int reports = 0;
LONG outcome_after_report = 0;

void CountingReport() {
  ++reports;
  InterlockedExchange(&ExtractionOutcome, outcome_after_report);
}

class OutcomeTest : public ::testing::Test {
 protected:
  void SetUp() override { reports = 0; }
  void TearDown() override { InterlockedExchange(&ExtractionOutcome, 0); }

  bool ReadWith(LONG outcome, LONG after_report) {
    InterlockedExchange(&ExtractionOutcome, outcome);
    outcome_after_report = after_report;
    return OutcomeAllowsLaunch(CountingReport);
  }
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
