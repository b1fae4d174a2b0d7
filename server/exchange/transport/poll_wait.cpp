#include "poll_wait.h"

#include <cerrno>

#include "sliced_wait.h"

namespace virk {

int PollWhile(pollfd& waiter, int timeoutMs, const std::atomic<bool>* keepGoing,
              const std::atomic<int>* interrupt) {
  return WaitInSlices(timeoutMs, keepGoing, interrupt, [&waiter](int sliceMs) {
    const int ready = poll(&waiter, 1, sliceMs);
    return ready < 0 && errno == EINTR ? kSliceAgain : ready;
  });
}

}  // namespace virk
