// Storage of the update check's process-wide state (see update_state.h).
#include "update/update_state.h"

namespace sfx {

SetupConfig SetupConfigRecord;
char ProductFolder[kUpdatePathSize];
char ProductIniFile[kUpdatePathSize];
char AppPathsKey[kUpdatePathSize];
char AppPathsKeyNT[kUpdatePathSize];

}  // namespace sfx
