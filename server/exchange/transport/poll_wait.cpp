#include "poll_wait.h"

#include <algorithm>
#include <cerrno>

#include "deadline.h"

namespace virk {
namespace {

// How soon a wait notices a stop.
constexpr int kStopCheckMs = 50;

}  // namespace

int PollWhile(pollfd& waiter, int timeoutMs, const std::atomic<bool>* keepGoing,
              const std::atomic<int>* interrupt) {
  const Deadline deadline(uint32_t(std::max(timeoutMs, 0)));
  for (;;) {
    if (keepGoing && !keepGoing->load()) return 0;
    if (interrupt && interrupt->load() > 0) return 0;
    const int left = deadline.RemainingMs();
    const int slice = keepGoing || interrupt ? std::min(left, kStopCheckMs) : left;
    const int ready = poll(&waiter, 1, slice);
    if (ready < 0 && errno == EINTR) continue;
    if (ready != 0 || slice == left) return ready;
  }
}

}  // namespace virk
