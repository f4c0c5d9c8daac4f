// Reading the run's outcome after the progress dialog has ended.
#pragma once

#include "payload/worker/stub_run.h"

namespace sfx {

// Reads run.outcome: positive means launch Setup.exe, negative means the
// worker already reported a failure. 0 means the dialog ended without a
// result: `report_no_result` is called (the IDS_NO_RESULT message in the
// stub) and the outcome is read once more, since the worker may have
// finished while the message was open. True when the setup program is to be
// launched.
bool OutcomeAllowsLaunch(const StubRun& run, void (*report_no_result)(const StubRun& run));

}  // namespace sfx
