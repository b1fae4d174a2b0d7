#include "thread_id.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace virk {

int CurrentThreadId() { return int(syscall(SYS_gettid)); }

}  // namespace virk
