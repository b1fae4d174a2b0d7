// The engine against a slave that misbehaves on purpose: silence, exception
// answers, closed connections; plus emulation and start/stop under writes.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "engine_tree.h"
#include "fake_tcp_slave.h"
#include "log_capture.h"

namespace virk {
namespace {

using Clock = std::chrono::steady_clock;
using test::ElapsedMs;
using test::FakeTcpSlave;

struct Plant {
  CGlobal global;
  CChannel* channel = nullptr;
  CDevice* device = nullptr;
  CGroup* group = nullptr;
  CDATag* reg10 = nullptr;
  CDATag* reg11 = nullptr;

  // One channel to 127.0.0.1:port, one device, one group with two holding
  // registers at 10 and 11.
  Plant(uint16_t port, uint32_t responseTimeout, uint8_t attempts, uint32_t periodMs,
        int32_t protocol = kProtocolTcp) {
    auto root = std::make_unique<CTreeItemRoot>();
    channel = test::AddTcpChannel(*root, port, protocol, responseTimeout);
    channel->m_Data.m_Attempts = attempts;
    device = test::AddDevice(*channel, 1);
    group = test::AddGroup(*device, periodMs);
    reg10 = test::AddTag(*group, "R10", kRegHolding, 10, kTypeUInt16);
    reg11 = test::AddTag(*group, "R11", kRegHolding, 11, kTypeUInt16);
    global.SetRoot(std::move(root));
  }
  int32_t Connection() const { return Int32Value(device->m_Connection); }
};

// A fault-injecting slave behaving as told and a plant polling it.
class EngineFailures : public ::testing::Test {
 protected:
  Plant& Start(FakeTcpSlave::Behaviour behaviour, uint32_t responseTimeout, uint8_t attempts,
               uint32_t periodMs) {
    EXPECT_TRUE(m_Slave.Start());
    m_Slave.SetBehaviour(behaviour);
    m_Plant = std::make_unique<Plant>(m_Slave.Port(), responseTimeout, attempts, periodMs);
    m_Plant->global.StartExchange();
    return *m_Plant;
  }
  FakeTcpSlave m_Slave;
  std::unique_ptr<Plant> m_Plant;
};

TEST_F(EngineFailures, SilentDeviceGetsThreeRequestsThenItsTagsTurnBad) {
  Plant& plant = Start(FakeTcpSlave::Behaviour::kSilent, 100, 3, 60000);  // one poll only
  ASSERT_TRUE(test::WaitFor([&] { return plant.reg10->Status() == kStatusBadTimeout; }, 5000));
  EXPECT_EQ(m_Slave.Requests(), 3);
  EXPECT_EQ(plant.reg11->Status(), kStatusBadTimeout);
  EXPECT_EQ(plant.Connection(), kConnectionFailed);
  double responseTime = 0;
  uint32_t status = 1;
  ASSERT_TRUE(test::TagNumber(plant.device->m_ResponseTime, responseTime, status));
  EXPECT_GE(responseTime, 290.0);  // three time-outs of 100 ms
  EXPECT_EQ(status, kStatusGood);
  // Each unanswered request leaves with its connection, which is reset, so
  // that the device cannot carry it out later: every attempt connects anew.
  EXPECT_EQ(m_Slave.Connections(), 3);
  plant.global.StopExchange();
}

struct BadAnswer {
  const char* name;
  FakeTcpSlave::Behaviour behaviour;
  bool rtu;
};

class EngineBadAnswers : public ::testing::TestWithParam<BadAnswer> {};

// Every kind of unusable answer costs all attempts and turns the tags Bad;
// a garbled answer keeps the link, one cut short (a time-out in the middle
// of the frame) resets it before the next attempt.
TEST_P(EngineBadAnswers, AllAttemptsFailTagsTurnBadAndTheLinkStays) {
  FakeTcpSlave slave(GetParam().rtu);
  ASSERT_TRUE(slave.Start());
  slave.SetBehaviour(GetParam().behaviour);
  Plant plant(slave.Port(), 100, 3, 60000, GetParam().rtu ? kProtocolRtu : kProtocolTcp);
  plant.global.StartExchange();
  const bool cutShort = GetParam().behaviour == FakeTcpSlave::Behaviour::kTruncated;
  const uint32_t expected = cutShort ? kStatusBadTimeout : kStatusBadCommunicationError;
  ASSERT_TRUE(test::WaitFor([&] { return plant.reg10->Status() == expected; }, 5000));
  EXPECT_EQ(slave.Requests(), 3);
  EXPECT_EQ(plant.Connection(), kConnectionFailed);
  EXPECT_EQ(slave.Connections(), cutShort ? 3 : 1);
  plant.global.StopExchange();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EngineBadAnswers,
    ::testing::Values(BadAnswer{"Garbage", FakeTcpSlave::Behaviour::kGarbage, false},
                      BadAnswer{"GarbageRtu", FakeTcpSlave::Behaviour::kGarbage, true},
                      BadAnswer{"BadCrc", FakeTcpSlave::Behaviour::kBadChecksum, true},
                      BadAnswer{"WrongUnit", FakeTcpSlave::Behaviour::kWrongUnit, false},
                      BadAnswer{"WrongUnitRtu", FakeTcpSlave::Behaviour::kWrongUnit, true},
                      BadAnswer{"WrongFunction", FakeTcpSlave::Behaviour::kWrongFunction, false},
                      BadAnswer{"WrongTransactionId", FakeTcpSlave::Behaviour::kWrongTransactionId,
                                false},
                      BadAnswer{"Truncated", FakeTcpSlave::Behaviour::kTruncated, false},
                      BadAnswer{"TruncatedRtu", FakeTcpSlave::Behaviour::kTruncated, true}),
    [](const ::testing::TestParamInfo<BadAnswer>& info) { return std::string(info.param.name); });

TEST_F(EngineFailures, AnswersLaterThanAllAttemptsAreNotTakenForNewRequests) {
  // Two attempts of 100 ms end long before the first answer comes at 300 ms.
  Plant& plant = Start(FakeTcpSlave::Behaviour::kLate, 100, 2, 1500);
  ASSERT_TRUE(test::WaitFor([&] { return plant.reg10->Status() == kStatusBadTimeout; }, 5000));
  EXPECT_EQ(plant.Connection(), kConnectionFailed);
  // The slave counts a request when it gets to it, after its late answers.
  EXPECT_TRUE(test::WaitFor([&] { return m_Slave.Requests() == 2; }, 1000));
  m_Slave.SetBehaviour(FakeTcpSlave::Behaviour::kAnswer);
  EXPECT_TRUE(test::WaitFor([&] { return test::TagHas(*plant.reg10, 10) &&
                                         test::TagHas(*plant.reg11, 11); }, 5000));
  EXPECT_EQ(plant.Connection(), kConnectionGood);
  // The connections of the two unanswered requests were reset.
  EXPECT_GE(m_Slave.Connections(), 3);
  plant.global.StopExchange();
}

TEST_F(EngineFailures, RecoveryAfterTheDeviceAnswersAgain) {
  Plant& plant = Start(FakeTcpSlave::Behaviour::kSilent, 80, 2, 50);
  ASSERT_TRUE(test::WaitFor([&] { return plant.reg10->Status() == kStatusBadTimeout; }, 5000));
  m_Slave.SetBehaviour(FakeTcpSlave::Behaviour::kAnswer);
  EXPECT_TRUE(test::WaitFor([&] { return test::TagHas(*plant.reg10, 10) &&
                                         test::TagHas(*plant.reg11, 11); }, 5000));
  EXPECT_EQ(plant.Connection(), kConnectionGood);
  plant.global.StopExchange();
}

TEST_F(EngineFailures, IllegalAddressAnswerSplitsTheBlockAndKeepsTheLinkGood) {
  Plant& plant = Start(FakeTcpSlave::Behaviour::kException, 300, 3, 60000);
  ASSERT_TRUE(test::WaitFor([&] { return plant.reg11->Status() == kStatusBadOutOfRange; }, 5000));
  EXPECT_EQ(plant.reg10->Status(), kStatusBadOutOfRange);  // never read: no value to keep
  EXPECT_EQ(plant.Connection(), kConnectionGood);
  // An exception is an answer, not retried; the block of two is asked again
  // as two single registers.
  EXPECT_EQ(m_Slave.Requests(), 3);
  plant.global.StopExchange();
}

TEST_F(EngineFailures, ClosedConnectionIsReopenedByTheNextRequest) {
  Plant& plant = Start(FakeTcpSlave::Behaviour::kCloseConnection, 200, 3, 50);
  ASSERT_TRUE(test::WaitFor([&] { return m_Slave.Connections() >= 2; }, 5000));
  EXPECT_TRUE(test::WaitFor([&] { return plant.reg10->Status() == kStatusBadNotConnected; }, 5000));
  m_Slave.SetBehaviour(FakeTcpSlave::Behaviour::kAnswer);
  EXPECT_TRUE(test::WaitFor([&] { return test::TagHas(*plant.reg10, 10); }, 5000));
  plant.global.StopExchange();
}

TEST_F(EngineFailures, StopWhileTheDeviceIsSilentTakesAtMostOneResponseTimeOut) {
  Plant& plant = Start(FakeTcpSlave::Behaviour::kSilent, 1000, 20, 50);  // 20 attempts would take 20 s
  ASSERT_TRUE(test::WaitFor([&] { return m_Slave.Requests() >= 1; }, 5000));
  const auto start = Clock::now();
  plant.global.StopExchange();
  EXPECT_LT(ElapsedMs(start), 2500);  // not the 20 s of all attempts
  EXPECT_FALSE(plant.channel->IsThreadRunning());
  // A cancelled transaction does not blame the device.
  EXPECT_EQ(plant.reg10->Status(), kStatusBadWaitingForInitialData);
}

TEST_F(EngineFailures, StopWhileConnectingReturnsPromptly) {
  test::LoopbackListener listener;
  ASSERT_TRUE(listener.Start(0));
  ASSERT_TRUE(listener.FillQueue());
  Plant plant(listener.Port(), 200, 3, 50);
  plant.channel->m_Data.Tcp()->m_ConnectTimeout = 20000;
  plant.global.StartExchange();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the connect hangs
  const auto start = Clock::now();
  plant.global.StopExchange();
  EXPECT_LT(ElapsedMs(start), 2000);  // not the 20 s connect time-out
  EXPECT_FALSE(plant.channel->IsThreadRunning());
}

TEST_F(EngineFailures, ConnectionRefusedMakesEveryTagBad) {
  Plant plant(test::ClosedLoopbackPort(), 100, 1, 50);
  plant.global.StartExchange();
  EXPECT_TRUE(test::WaitFor([&] { return plant.reg10->Status() == kStatusBadNotConnected; }, 5000));
  EXPECT_EQ(plant.Connection(), kConnectionClosed);
  plant.global.StopExchange();
}

TEST(EngineBroadcast, UnitZeroIsNeverPolledAndWritesAreSentOnceWithoutAnswer) {
  FakeTcpSlave slave;
  ASSERT_TRUE(slave.Start());
  Plant plant(slave.Port(), 2000, 3, 20);
  plant.device->m_Data.m_Addr = 0;
  plant.reg10->m_Data.m_bWriteGroup = false;
  plant.global.StartExchange();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(slave.Requests(), 0);

  UA_UInt16 raw = 777;
  UA_Variant written;
  UA_Variant_setScalar(&written, &raw, &UA_TYPES[UA_TYPES_UINT16]);
  const auto start = Clock::now();
  EXPECT_EQ(plant.group->Write(*plant.reg10, written), 0);
  EXPECT_LT(ElapsedMs(start), 1000);  // no answer awaited for 2 s
  EXPECT_TRUE(test::TagHas(*plant.reg10, 777, kStatusUncertain));
  EXPECT_TRUE(test::WaitFor([&] { return slave.Writes() == 1; }, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(slave.Requests(), 1);
  // No scan or response time is measured for a broadcast.
  EXPECT_TRUE(test::TagHas(plant.device->m_ScanTime, 0.0));
  EXPECT_TRUE(test::TagHas(plant.device->m_ResponseTime, 0.0));
  plant.global.StopExchange();
}

TEST(EngineEmulation, EmulatedDeviceNeverOpensThePortUntilSwitchedBack) {
  FakeTcpSlave slave;
  ASSERT_TRUE(slave.Start());
  Plant plant(slave.Port(), 200, 3, 20);
  plant.device->m_Data.m_Emulation = true;
  plant.reg10->m_Data.SetEmulKind(kEmulConst);
  std::get<CEmulData_Const>(plant.reg10->m_Data.m_Emul).m_Value = 42.0;
  plant.reg11->m_Data.SetEmulKind(kEmulRandom);
  plant.global.StartExchange();

  ASSERT_TRUE(test::WaitFor([&] { return test::TagHas(*plant.reg10, 42.0); }, 3000));
  double random = -1;
  uint32_t status = 1;
  ASSERT_TRUE(test::TagNumber(*plant.reg11, random, status));
  EXPECT_GE(random, 0.0);
  EXPECT_LT(random, 1.0);
  ASSERT_TRUE(test::WaitFor([&] { return plant.Connection() == kConnectionGood; }, 2000));
  UA_Variant value;
  UA_Variant_init(&value);
  plant.device->m_Connection.GetValue(value, status);
  UA_Variant_clear(&value);
  EXPECT_EQ(status, kStatusGoodLocalOverride);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(slave.Connections(), 0);
  EXPECT_EQ(slave.Requests(), 0);

  // A write to an emulated device is taken and sends nothing.
  UA_UInt16 raw = 5;
  UA_Variant written;
  UA_Variant_setScalar(&written, &raw, &UA_TYPES[UA_TYPES_UINT16]);
  EXPECT_EQ(plant.group->Write(*plant.reg10, written), 0);

  UA_Boolean off = false;
  UA_Variant offValue;
  UA_Variant_setScalar(&offValue, &off, &UA_TYPES[UA_TYPES_BOOLEAN]);
  ASSERT_TRUE(plant.device->WriteStatusTag(plant.device->m_Emulation, offValue));
  EXPECT_TRUE(test::WaitFor([&] { return test::TagHas(*plant.reg10, 10); }, 3000));
  EXPECT_EQ(slave.Connections(), 1);
  EXPECT_EQ(slave.Writes(), 0);
  plant.global.StopExchange();
}

TEST(EngineControl, ExchangeOffRefusesWritesAndStopsPolling) {
  FakeTcpSlave slave;
  ASSERT_TRUE(slave.Start());
  Plant plant(slave.Port(), 200, 3, 20);
  plant.device->m_Data.m_Exchange = false;
  plant.global.StartExchange();
  plant.global.StartExchange();  // a second start changes nothing
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(slave.Requests(), 0);
  UA_UInt16 raw = 5;
  UA_Variant written;
  UA_Variant_setScalar(&written, &raw, &UA_TYPES[UA_TYPES_UINT16]);
  CDATag* tags[1] = {plant.reg10};
  uint32_t results[1] = {0};
  EXPECT_EQ(plant.group->Write(1, tags, &written, results), 1);
  EXPECT_EQ(results[0], 1u);
  EXPECT_EQ(slave.Writes(), 0);
  plant.global.StopExchange();
  plant.global.StopExchange();  // stopping when stopped only logs
  EXPECT_FALSE(plant.global.IsStarted());
}

TEST(EngineControl, RepeatedStartAndStopWhileWritesArrive) {
  FakeTcpSlave slave;
  ASSERT_TRUE(slave.Start());
  Plant plant(slave.Port(), 200, 2, 5);
  std::atomic<bool> writing{true};
  std::atomic<int> writesDone{0};
  std::thread writer([&] {
    const auto end = Clock::now() + std::chrono::seconds(20);
    for (UA_UInt16 raw = 0; writing && Clock::now() < end; ++raw) {
      UA_Variant value;
      UA_Variant_setScalar(&value, &raw, &UA_TYPES[UA_TYPES_UINT16]);
      plant.group->Write(*plant.reg10, value);
      ++writesDone;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  });
  for (int round = 0; round < 10; ++round) {
    plant.global.StartExchange();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    plant.global.StopExchange();
    EXPECT_FALSE(plant.channel->IsThreadRunning());
  }
  writing = false;
  writer.join();
  EXPECT_GT(writesDone.load(), 0);
  EXPECT_GT(slave.Writes(), 0);
  EXPECT_GT(slave.Requests(), slave.Writes());  // polls went on between the writes
}

}  // namespace
}  // namespace virk
