#include "thread_id.h"

#include "platform/windows/windows_api.h"

namespace virk {

int CurrentThreadId() { return int(GetCurrentThreadId()); }

}  // namespace virk
