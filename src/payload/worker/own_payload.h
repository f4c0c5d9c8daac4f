// Finding the EmbeddedPayload in the stub's own executable file.
#pragma once

#include "payload/payload_format.h"

namespace sfx {

// Maps the running program's file read-only (GetModuleFileNameA), finds the
// overlay after the PE sections and reads the payload header from it. The
// mapping stays for the rest of the process. False when the file cannot be
// opened or mapped, has no overlay, or the overlay is truncated.
bool MapOwnPayload(EmbeddedPayload& payload);

}  // namespace sfx
