// poll() for one descriptor that a stopping channel can cut short.
#pragma once

#include <poll.h>

#include <atomic>

namespace virk {

// Waits like poll() for at most `timeoutMs`, but gives up (returning 0, as
// for a time-out) soon after `keepGoing` turns false or `interrupt` turns
// non-zero. Null: no such check.
int PollWhile(pollfd& waiter, int timeoutMs, const std::atomic<bool>* keepGoing,
              const std::atomic<int>* interrupt = nullptr);

}  // namespace virk
