// Slows down password guessing from one client address: after a few failed
// logins within a minute every login from that address is refused at once for
// a penalty time that grows with each further failure. Nothing waits: the
// server thread answers at once, other addresses are not affected.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>

namespace virk::server {

class LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr size_t kFreeFailures = 5;  // within kWindow, before any penalty
  static constexpr std::chrono::seconds kWindow{60};
  static constexpr std::chrono::milliseconds kFirstPenalty{2000};
  static constexpr std::chrono::milliseconds kLongestPenalty{8000};
  static constexpr size_t kMostDoublings = 2;  // kFirstPenalty doubled this often is the longest
  static_assert(kFirstPenalty * (1 << kMostDoublings) == kLongestPenalty);
  static constexpr size_t kMostAddresses = 10000;  // older entries are dropped beyond this

  // What the caller should log about an address: given at most once per
  // address and kWindow.
  struct Notice {
    size_t failures;                     // within the window
    std::chrono::milliseconds penalty;  // from now on
  };

  // True while the address serves a penalty: the login is to be refused
  // unchecked (and reported to Failed like any refusal).
  bool Refuses(const std::string& address, Clock::time_point now) const;
  // A login from the address was refused; a notice when a penalty starts
  // and the address has not been named within the window.
  std::optional<Notice> Failed(const std::string& address, Clock::time_point now);

  size_t TrackedAddresses() const { return m_Addresses.size(); }

 private:
  struct Record {
    std::deque<Clock::time_point> failures;  // within the window, oldest first
    Clock::time_point penaltyEnds{};
    std::optional<Clock::time_point> lastNotice;
  };
  void ForgetStale(Clock::time_point now);

  std::unordered_map<std::string, Record> m_Addresses;
};

}  // namespace virk::server
