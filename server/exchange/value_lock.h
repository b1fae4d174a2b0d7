// The global value lock: taken whenever the engine changes several tag values
// or statuses as one step. Order: port lock -> this lock -> a tag's own lock.
#pragma once

#include <mutex>

namespace virk {

std::mutex& GlobalValueLock();

}  // namespace virk
