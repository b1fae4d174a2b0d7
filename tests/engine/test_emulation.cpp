// Emulators, the poll timer's wrap rule and the worker thread.
#include <atomic>
#include <cmath>

#include <gtest/gtest.h>

#include "emulation.h"
#include "engine_tree.h"
#include "exchange_thread.h"
#include "poll_timer.h"

namespace virk {
namespace {

TEST(Emulation, SineFollowsItsPeriod) {
  EXPECT_DOUBLE_EQ(SineValue(60, 0), 0.0);
  EXPECT_NEAR(SineValue(60, 15000), 1.0, 1e-12);
  EXPECT_NEAR(SineValue(60, 30000), 0.0, 1e-12);
  EXPECT_NEAR(SineValue(60, 45000), -1.0, 1e-12);
  EXPECT_NEAR(SineValue(4, 1000), 1.0, 1e-12);
  // Months of running keep the phase exact.
  const uint64_t ninetyDaysMs = 90ull * 24 * 3600 * 1000;
  EXPECT_NEAR(SineValue(60, ninetyDaysMs + 15000), 1.0, 1e-12);
}

TEST(Emulation, SineWithoutPeriodIsZero) {
  EXPECT_EQ(SineValue(0, 15000), 0.0);
  EXPECT_EQ(SineValue(-5, 15000), 0.0);
  TagSettings settings;
  settings.SetEmulKind(kEmulSin);
  std::get<CEmulData_Sin>(settings.m_Emul).m_Period = 0;
  UA_Variant value;
  UA_Variant_init(&value);
  ASSERT_TRUE(GenerateEmulatedValue(settings, value));
  ASSERT_TRUE(UA_Variant_hasScalarType(&value, &UA_TYPES[UA_TYPES_DOUBLE]));
  EXPECT_EQ(*static_cast<double*>(value.data), 0.0);
  UA_Variant_clear(&value);
}

TEST(Emulation, RandomValuesLieInUnitIntervalAndSpreadOverIt) {
  TagSettings settings;
  settings.SetEmulKind(kEmulRandom);
  UA_Variant value;
  UA_Variant_init(&value);
  double low = 1, high = 0;
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TRUE(GenerateEmulatedValue(settings, value));
    ASSERT_TRUE(UA_Variant_hasScalarType(&value, &UA_TYPES[UA_TYPES_DOUBLE]));
    const double r = *static_cast<double*>(value.data);
    ASSERT_GE(r, 0.0);
    ASSERT_LT(r, 1.0);
    low = std::min(low, r);
    high = std::max(high, r);
  }
  UA_Variant_clear(&value);
  EXPECT_LT(low, 0.05);
  EXPECT_GT(high, 0.95);
}

TEST(Emulation, ConstantKeepsValueAndStatusOfTheTag) {
  CDATag tag;
  tag.m_Data.m_RegKind = kRegHolding;
  tag.m_Data.m_ValueType = kTypeInt16;
  tag.Init();
  tag.m_Data.SetEmulKind(kEmulConst);
  std::get<CEmulData_Const>(tag.m_Data.m_Emul).m_Value = -12.5;
  tag.SetStatus(kStatusBad);
  for (int poll = 0; poll < 3; ++poll) {
    ASSERT_TRUE(Emulate(tag));
    UA_Variant value;
    UA_Variant_init(&value);
    uint32_t status = 0;
    tag.GetValue(value, status);
    ASSERT_TRUE(UA_Variant_hasScalarType(&value, &UA_TYPES[UA_TYPES_DOUBLE]));
    EXPECT_EQ(*static_cast<double*>(value.data), -12.5);
    EXPECT_EQ(status, kStatusBad);  // emulation never changes the status
    UA_Variant_clear(&value);
  }
  tag.m_Data.m_EmulKind = 7;  // no emulator: the tag is left alone
  EXPECT_FALSE(Emulate(tag));
}

TEST(PollTimer, DueByPeriodAcrossTheTickWrap) {
  PollTimer timer(100);
  EXPECT_TRUE(timer.IsDueAt(5));  // never started
  timer.RestartAt(1000);
  EXPECT_FALSE(timer.IsDueAt(1099));
  EXPECT_TRUE(timer.IsDueAt(1100));
  timer.SetDueNow();
  EXPECT_TRUE(timer.IsDueAt(1001));
  // Started 50 ms before the wrap: after the wrap one millisecond more is needed.
  timer.RestartAt(0xFFFFFFFFu - 49);
  EXPECT_FALSE(timer.IsDueAt(49));
  EXPECT_FALSE(timer.IsDueAt(50));
  EXPECT_TRUE(timer.IsDueAt(51));
  EXPECT_EQ(timer.RemainingAt(49), 2u);
  EXPECT_EQ(timer.RemainingAt(51), 0u);
  timer.RestartAt(500);
  EXPECT_EQ(timer.RemainingAt(530), 70u);
  PollTimer everyTurn(0);
  everyTurn.RestartAt(7);
  EXPECT_TRUE(everyTurn.IsDueAt(7));
}

TEST(ExchangeThread, RunsBodyAndStopsOnRequest) {
  CThread thread;
  std::atomic<int> turns{0};
  for (int start = 0; start < 3; ++start) {
    thread.Start([&turns](CThread& self) {
      self.SetRunning(true);
      for (int i = 0; i < 500 && !self.StopRequested(); ++i) {
        ++turns;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      self.SetRunning(false);
    });
    EXPECT_TRUE(test::WaitFor([&] { return turns.load() > 0; }, 2000));
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(thread.StopRequested());
    turns = 0;
  }
}

}  // namespace
}  // namespace virk
