// A wait that a stopping channel or a waiting writer can cut short: it runs
// in slices and looks at the flags between them. Shared by the waits of
// every platform (poll(), select(), an overlapped-I/O event).
#pragma once

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>

#include "deadline.h"

namespace virk {

// How soon a wait notices a stop.
constexpr int kStopCheckMs = 50;

// Returned by a slice that was cut short (a signal) and is to be waited again.
constexpr int kSliceAgain = INT_MIN;

// Calls `waitSlice(ms)` until it returns non-zero (ready, or an error below
// 0), the time-out ends (0), `keepGoing` turns false (0) or `interrupt`
// turns non-zero (0). Null flags: no such check, and one slice for all.
template <typename WaitSlice>
int WaitInSlices(int timeoutMs, const std::atomic<bool>* keepGoing, const std::atomic<int>* interrupt,
                 WaitSlice waitSlice) {
  const Deadline deadline(uint32_t(std::max(timeoutMs, 0)));
  for (;;) {
    if (keepGoing && !keepGoing->load()) return 0;
    if (interrupt && interrupt->load() > 0) return 0;
    const int left = deadline.RemainingMs();
    const int slice = keepGoing || interrupt ? std::min(left, kStopCheckMs) : left;
    const int ready = waitSlice(slice);
    if (ready == kSliceAgain) continue;
    if (ready != 0 || slice == left) return ready;
  }
}

}  // namespace virk
