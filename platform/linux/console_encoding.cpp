// Linux terminals take the locale's encoding, UTF-8 on the machines we serve:
// the programs' UTF-8 messages need no switch.
#include "platform/platform.h"

namespace virk::platform {

void UseUtf8Console() {}

}  // namespace virk::platform
