#include "server/login_throttle.h"

#include <algorithm>

namespace virk::server {

bool LoginThrottle::Refuses(const std::string& address, Clock::time_point now) const {
  const auto found = m_Addresses.find(address);
  return found != m_Addresses.end() && now < found->second.penaltyEnds;
}

std::optional<LoginThrottle::Notice> LoginThrottle::Failed(const std::string& address, Clock::time_point now) {
  if (m_Addresses.size() >= kMostAddresses && m_Addresses.count(address) == 0) ForgetStale(now);
  Record& record = m_Addresses[address];
  while (!record.failures.empty() && now - record.failures.front() >= kWindow) record.failures.pop_front();
  record.failures.push_back(now);
  const size_t failures = record.failures.size();
  if (failures < kFreeFailures) return std::nullopt;

  // Doubles with every failure past the free ones up to the longest; the
  // failures beyond that many change nothing and are not kept.
  const size_t doublings = failures - kFreeFailures;
  const auto penalty = std::min<std::chrono::milliseconds>(kFirstPenalty * (1 << doublings), kLongestPenalty);
  record.penaltyEnds = now + penalty;
  if (doublings == kMostDoublings) record.failures.pop_front();
  if (record.lastNotice && now - *record.lastNotice < kWindow) return std::nullopt;
  record.lastNotice = now;
  return Notice{failures, penalty};
}

// Addresses with no failure within the window and no penalty left; when all
// are recent (an attack from very many addresses) the whole table goes, which
// only forgives.
void LoginThrottle::ForgetStale(Clock::time_point now) {
  for (auto it = m_Addresses.begin(); it != m_Addresses.end();) {
    const Record& record = it->second;
    const bool stale = now >= record.penaltyEnds &&
                       (record.failures.empty() || now - record.failures.back() >= kWindow);
    it = stale ? m_Addresses.erase(it) : std::next(it);
  }
  if (m_Addresses.size() >= kMostAddresses) m_Addresses.clear();
}

}  // namespace virk::server
