// A Windows console starts in the OEM code page (866 on Russian systems), which
// would show the programs' UTF-8 messages as mojibake.
#include "platform/platform.h"

#include "platform/windows/windows_api.h"

namespace virk::platform {

// Fails harmlessly without a console (output to a pipe or a file), where the
// bytes go out unchanged anyway.
void UseUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

}  // namespace virk::platform
