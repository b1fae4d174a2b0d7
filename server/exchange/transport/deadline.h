// A point in time a wait must not pass, in whole milliseconds for poll().
#pragma once

#include <chrono>
#include <cstdint>

namespace virk {

class Deadline {
 public:
  explicit Deadline(uint32_t ms) : m_End(Clock::now() + std::chrono::milliseconds(ms)) {}

  // Milliseconds left, rounded up so that a wait of that length reaches the end.
  int RemainingMs() const {
    const auto left = m_End - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > kMaxWaitMs ? kMaxWaitMs : int(ms);
  }
  bool Passed() const { return Clock::now() >= m_End; }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr int64_t kMaxWaitMs = 0x7FFFFFFF;
  Clock::time_point m_End;
};

}  // namespace virk
