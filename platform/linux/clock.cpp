// Ticks and sleeping on the monotonic clock (never jumps with the wall clock).
#include "platform/platform.h"

#include <time.h>

#include <cerrno>

namespace virk::platform {
namespace {
uint64_t MonotonicNanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}
}  // namespace

uint32_t TickCount32() { return uint32_t(MonotonicNanos() / 1000000u); }

uint64_t MonotonicMicros() { return MonotonicNanos() / 1000u; }

void SleepMs(uint32_t ms) {
  timespec left{time_t(ms / 1000), long(ms % 1000) * 1000000L};
  // A signal must not cut a poll pause short.
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace virk::platform
