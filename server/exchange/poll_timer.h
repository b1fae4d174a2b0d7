// Paces a group (or the port attempts) on the 32-bit millisecond tick.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace virk {

class PollTimer {
 public:
  explicit PollTimer(uint32_t periodMs = 0) : m_Period(periodMs) {}

  void SetPeriod(uint32_t periodMs) { m_Period = periodMs; }
  uint32_t Period() const { return m_Period; }
  // Due at the next check whatever the time.
  void SetDueNow() { m_DueNow = true; }

  bool IsDue() const { return IsDueAt(platform::TickCount32()); }
  // The elapsed time is taken modulo 2^32 and, once the counter has wrapped
  // since the start, reduced by one.
  bool IsDueAt(uint32_t now) const {
    if (m_DueNow) return true;
    uint32_t elapsed = now - m_Start;
    if (now < m_Start) --elapsed;
    return elapsed >= m_Period;
  }
  // Milliseconds until due; 0 when due.
  uint32_t RemainingAt(uint32_t now) const {
    if (IsDueAt(now)) return 0;
    uint32_t elapsed = now - m_Start;
    if (now < m_Start) --elapsed;
    return m_Period - elapsed;
  }
  void Restart() { RestartAt(platform::TickCount32()); }
  void RestartAt(uint32_t now) {
    m_DueNow = false;
    m_Start = now;
  }

 private:
  bool m_DueNow = true;  // a timer never started is due
  uint32_t m_Period;
  uint32_t m_Start = 0;
};

}  // namespace virk
