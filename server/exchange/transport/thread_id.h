// The calling thread's number as the system shows it (top, Task Manager),
// for the connect records of the log.
#pragma once

namespace virk {

int CurrentThreadId();

}  // namespace virk
