// Ticks and sleeping. GetTickCount is the counter the polling timers were
// designed around; the performance counter gives the fine times.
#include "platform/platform.h"

#include "platform/windows/windows_api.h"

namespace virk::platform {

uint32_t TickCount32() { return GetTickCount(); }

uint64_t MonotonicMicros() {
  static const uint64_t frequency = [] {
    LARGE_INTEGER value{};
    QueryPerformanceFrequency(&value);
    return uint64_t(value.QuadPart);
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  const uint64_t counts = uint64_t(now.QuadPart);
  // In two parts: counts * 1000000 would overflow after some weeks at 10 MHz.
  return counts / frequency * 1000000u + counts % frequency * 1000000u / frequency;
}

void SleepMs(uint32_t ms) { Sleep(ms); }

}  // namespace virk::platform
