// Identifiers of the stub's resources and dialog controls, shared by the
// resource script and the C++ code. The string ids of the worker's messages
// come from the worker's own header.
#pragma once

#include "payload/worker/worker_messages.h"

#define IDD_PROGRESS 103
#define IDI_STUB 103
#define IDC_PROGRESS_TEXT 1003
#define IDC_PROGRESS_BAR 1002

#define IDS_NO_RESULT 5
// Setup.exe cannot be started: IDS_LAUNCH_FAILED_HEAD, the full path of
// Setup.exe, IDS_LAUNCH_FAILED_TAIL and the system's reason make one message.
#define IDS_LAUNCH_FAILED_HEAD 6
#define IDS_LAUNCH_FAILED_TAIL 7
