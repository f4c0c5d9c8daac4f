// Reading ExtractionOutcome after the progress dialog has ended.
#pragma once

namespace sfx {

// Reads ExtractionOutcome: positive means launch Setup.exe, negative means
// the worker already reported a failure. 0 means the dialog ended without a
// result: `report_no_result` is called (string 5 in the stub) and the
// outcome is read once more, since the worker may have finished while the
// message was open. True when the setup program is to be launched.
bool OutcomeAllowsLaunch(void (*report_no_result)());

}  // namespace sfx
