// Identifiers of the stub's resources and dialog controls, shared by the
// resource script and the C++ code.
#pragma once

#define IDD_PROGRESS 103
#define IDI_STUB 103
#define IDC_PROGRESS_TEXT 1003
#define IDC_PROGRESS_BAR 1002

#define IDS_CORRUPT_PAYLOAD 2
#define IDS_COPY_FAILED_HEAD 3
#define IDS_COPY_FAILED_TAIL 4
#define IDS_NO_RESULT 5
