// The entry's two reads of the run's outcome (see extraction_outcome.h).
// Plain loads are enough: the worker stores with an interlocked exchange
// before it ends the dialog, and the modal call returns only after that.
#include "shell/extraction_outcome.h"

namespace sfx {

bool OutcomeAllowsLaunch(const StubRun& run, void (*report_no_result)(const StubRun& run)) {
  LONG outcome = run.outcome;
  if (outcome == 0) {
    report_no_result(run);
    outcome = run.outcome;
  }
  return outcome > 0;
}

}  // namespace sfx
