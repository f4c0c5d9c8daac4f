// Definitions of the stub's process-wide state (see stub_globals.h).
#include "shell/stub_globals.h"

namespace sfx {

HINSTANCE InstanceHandle = nullptr;
HWND ProgressDialog = nullptr;
char WorkFolder[kWorkFolderSize] = {};
volatile LONG ExtractionOutcome = 0;

}  // namespace sfx
