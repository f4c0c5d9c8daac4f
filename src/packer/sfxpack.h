// The packer library's public interface: everything the sfxpack program
// calls. Packing a folder (PackFolder), reading installers and payload block
// files (ReadPayloadFile, ListPayloadFile, the payload block's header and
// image), extracting them (ExtractPayloadFile), the progress reports these
// send, entry names as the user sees them (CP-1252 and their display form)
// and host paths. Everything else under packer/ is internal to the library.
#pragma once

#include "packer/codepage_1252.h"
#include "packer/entry_name_text.h"
#include "packer/host_path.h"
#include "packer/image_extractor.h"
#include "packer/pack_error.h"
#include "packer/pack_folder.h"
#include "packer/payload_block.h"
#include "packer/payload_file.h"
#include "packer/payload_file_listing.h"
#include "packer/progress_report.h"
#include "payload/payload_format.h"
