// The failed-login throttle on a clock of its own: when a penalty starts,
// how it grows, whom it touches and when it is forgiven.
#include <gtest/gtest.h>

#include "server/login_throttle.h"

namespace virk::server {
namespace {

using namespace std::chrono_literals;
using Clock = LoginThrottle::Clock;

TEST(LoginThrottle, PenaltyStartsAfterTheFreeFailuresGrowsAndPassesPerAddress) {
  LoginThrottle throttle;
  Clock::time_point now{};
  const std::string attacker = "10.0.0.5", other = "10.0.0.6";

  for (size_t i = 1; i < LoginThrottle::kFreeFailures; ++i) {
    EXPECT_FALSE(throttle.Failed(attacker, now));
    EXPECT_FALSE(throttle.Refuses(attacker, now));
    now += 1s;
  }
  const auto first = throttle.Failed(attacker, now);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->failures, LoginThrottle::kFreeFailures);
  EXPECT_EQ(first->penalty, LoginThrottle::kFirstPenalty);
  EXPECT_TRUE(throttle.Refuses(attacker, now + LoginThrottle::kFirstPenalty - 1ms));
  EXPECT_FALSE(throttle.Refuses(attacker, now + LoginThrottle::kFirstPenalty));
  EXPECT_FALSE(throttle.Refuses(other, now)) << "another address is not touched";

  // Each further failure doubles the penalty up to the longest, named once a minute.
  now += 100ms;
  EXPECT_FALSE(throttle.Failed(attacker, now)) << "already named within the minute";
  EXPECT_TRUE(throttle.Refuses(attacker, now + 2 * LoginThrottle::kFirstPenalty - 1ms));
  for (int i = 0; i < 20; ++i) throttle.Failed(attacker, now += 10ms);
  EXPECT_TRUE(throttle.Refuses(attacker, now + LoginThrottle::kLongestPenalty - 1ms));
  EXPECT_FALSE(throttle.Refuses(attacker, now + LoginThrottle::kLongestPenalty));

  // A minute after the last failure the address starts afresh.
  now += LoginThrottle::kWindow;
  EXPECT_FALSE(throttle.Refuses(attacker, now));
  EXPECT_FALSE(throttle.Failed(attacker, now));
  EXPECT_FALSE(throttle.Refuses(attacker, now));
}

TEST(LoginThrottle, ManyAddressesDoNotGrowTheTableWithoutBound) {
  LoginThrottle throttle;
  Clock::time_point now{};
  for (size_t i = 0; i < LoginThrottle::kMostAddresses * 2; ++i) throttle.Failed("a" + std::to_string(i), now);
  EXPECT_LE(throttle.TrackedAddresses(), LoginThrottle::kMostAddresses);
  // Old entries go first; an address under a penalty stays while there is room.
  now += LoginThrottle::kWindow;
  for (size_t i = 0; i < LoginThrottle::kFreeFailures; ++i) throttle.Failed("busy", now);
  EXPECT_EQ(throttle.TrackedAddresses(), 1u);
  for (size_t i = 0; i + 2 < LoginThrottle::kMostAddresses; ++i) throttle.Failed("b" + std::to_string(i), now + 1ms);
  EXPECT_TRUE(throttle.Refuses("busy", now + 2ms));
}

}  // namespace
}  // namespace virk::server
