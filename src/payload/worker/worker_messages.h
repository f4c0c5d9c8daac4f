// String-table ids of the messages that the extraction worker shows. The
// stub's resource script (shell/stub.rc, through shell/resource_ids.h) holds
// their texts, so this header is plain preprocessor definitions.
#pragma once

// The payload cannot be read, unpacked or verified: the installer is damaged.
#define IDS_CORRUPT_PAYLOAD 2
// A file cannot be written: IDS_COPY_FAILED_HEAD, the file's full path and
// IDS_COPY_FAILED_TAIL make one message, the path between double quotes.
#define IDS_COPY_FAILED_HEAD 3
#define IDS_COPY_FAILED_TAIL 4
