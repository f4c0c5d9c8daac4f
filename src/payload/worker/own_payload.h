// Finding the EmbeddedPayload in the stub's own loaded image.
#pragma once

#include "payload/payload_format.h"

namespace sfx {

// Finds the payload section in the running program's image as the system
// loader mapped it (GetModuleHandleW(nullptr), then the PE headers and the
// section table) and reads the payload header from it. The program's file is
// never opened: what runs is what was checked when it started. False when
// the image has no payload section or the block does not fit it.
bool FindOwnPayload(EmbeddedPayload& payload);

}  // namespace sfx
