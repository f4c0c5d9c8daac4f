// The entry's two reads of ExtractionOutcome (see extraction_outcome.h).
// Plain loads are enough: the worker stores with an interlocked exchange
// before it ends the dialog, and the modal call returns only after that.
#include "shell/extraction_outcome.h"

#include "shell/stub_globals.h"

namespace sfx {

bool OutcomeAllowsLaunch(void (*report_no_result)()) {
  LONG outcome = ExtractionOutcome;
  if (outcome == 0) {
    report_no_result();
    outcome = ExtractionOutcome;
  }
  return outcome > 0;
}

}  // namespace sfx
