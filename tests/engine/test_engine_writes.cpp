// Writes a SCADA can trust: a write answered as failed never reaches the
// device later, a write never makes every client wait for a device that is
// down or for another device's poll, and no tag reads Good before a value
// was read.
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "engine_tree.h"
#include "fake_tcp_slave.h"
#include "pymodbus_slave.h"

namespace virk {
namespace {

using Clock = std::chrono::steady_clock;
using test::ElapsedMs;
using test::FakeTcpSlave;

UA_StatusCode WriteUInt16(CGroup& group, CDATag& tag, UA_UInt16 value) {
  UA_Variant variant;
  UA_Variant_setScalar(&variant, &value, &UA_TYPES[UA_TYPES_UINT16]);
  uint32_t status = 0;
  group.Write(tag, variant, &status);
  return status;
}

// The "WRITE ..." lines a logging pymodbus slave printed within the wait.
int WritesLogged(test::PymodbusSlave& slave, int waitMs) {
  int writes = 0;
  std::string line;
  while (slave.Process().ReadLine(line, waitMs))
    if (line.rfind("WRITE", 0) == 0) ++writes;
  return writes;
}

// One channel of 300 ms time-out and 3 attempts to a pymodbus slave that
// logs every write, one device, holding register 10 polled every 100 ms.
class WritesToAFrozenSlave : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Slave.SetOptions({"--log-writes"});
    ASSERT_TRUE(m_Slave.StartTcp());
    auto root = std::make_unique<CTreeItemRoot>();
    CChannel* channel = test::AddTcpChannel(*root, m_Slave.Port(), kProtocolTcp, 300);
    channel->m_Data.m_Attempts = 3;
    m_Group = test::AddGroup(*test::AddDevice(*channel, 1), 100);
    m_Tag = test::AddTag(*m_Group, "HR10", kRegHolding, 10, kTypeUInt16);
    m_Tag->m_Data.m_bWriteGroup = false;
    m_Global.SetRoot(std::move(root));
    m_Global.StartExchange();
    ASSERT_TRUE(test::WaitFor([&] { return test::TagHas(*m_Tag, 10); }, 10000));
  }
  void TearDown() override {
    m_Slave.Process().Signal(SIGCONT);
    m_Global.StopExchange();
  }

  test::PymodbusSlave m_Slave;
  CGlobal m_Global;
  CGroup* m_Group = nullptr;
  CDATag* m_Tag = nullptr;
};

TEST_F(WritesToAFrozenSlave, WritesAnsweredAsFailedNeverReachTheDeviceLater) {
  ASSERT_TRUE(m_Slave.Process().Signal(SIGSTOP));
  ASSERT_TRUE(test::WaitFor([&] { return m_Tag->Status() == kStatusBadTimeout; }, 5000));
  // Known down: both writes are answered at once and nothing is sent.
  for (UA_UInt16 value : {2222, 3333}) {
    const auto start = Clock::now();
    EXPECT_EQ(WriteUInt16(*m_Group, *m_Tag, value), kStatusBadNoCommunication);
    EXPECT_LT(ElapsedMs(start), 250);  // not even one 300 ms time-out
  }
  ASSERT_TRUE(m_Slave.Process().Signal(SIGCONT));
  // What queued up in the slave's sockets meanwhile were reads only.
  EXPECT_TRUE(test::WaitFor([&] { return test::TagHas(*m_Tag, 10); }, 10000));
  EXPECT_EQ(WritesLogged(m_Slave, 500), 0);
  EXPECT_TRUE(test::TagHas(*m_Tag, 10));
}

TEST_F(WritesToAFrozenSlave, AnUnansweredWriteIsMadeOnceWithinOneTimeOut) {
  ASSERT_TRUE(m_Slave.Process().Signal(SIGSTOP));
  const auto start = Clock::now();
  // The request went out and no answer came: the outcome is unknown.
  EXPECT_EQ(WriteUInt16(*m_Group, *m_Tag, 4444), kStatusBadTimeout);
  // One time-out of its own, and at most a poll's receive giving way.
  EXPECT_LT(ElapsedMs(start), 800);
  ASSERT_TRUE(m_Slave.Process().Signal(SIGCONT));
  // The device may still carry out the one request that reached it, but
  // never a second copy, and no value the client did not send.
  EXPECT_TRUE(test::WaitFor([&] { return m_Tag->Status() == kStatusGood; }, 10000));
  EXPECT_LE(WritesLogged(m_Slave, 500), 1);
  double value = 0;
  uint32_t status = 0;
  ASSERT_TRUE(test::TagNumber(*m_Tag, value, status));
  EXPECT_TRUE(value == 10 || value == 4444) << value;
}

// Two devices on one TCP link (a gateway): unit 5 never answers, unit 1 does.
TEST(EngineWrites, AWriteNeverWaitsBehindThePollOfASilentDevice) {
  FakeTcpSlave slave;
  ASSERT_TRUE(slave.Start());
  slave.SetSilentUnit(5);
  CGlobal global;
  auto root = std::make_unique<CTreeItemRoot>();
  CChannel* channel = test::AddTcpChannel(*root, slave.Port(), kProtocolTcp, 1000);
  channel->m_Data.m_Attempts = 3;  // a poll of the silent device holds the link for 3 s
  CDATag* silent =
      test::AddTag(*test::AddGroup(*test::AddDevice(*channel, 5, "Silent"), 50), "R10", kRegHolding, 10, kTypeUInt16);
  CGroup* group = test::AddGroup(*test::AddDevice(*channel, 1, "Good"), 50);
  CDATag* tag = test::AddTag(*group, "R20", kRegHolding, 20, kTypeUInt16);
  tag->m_Data.m_bWriteGroup = false;
  global.SetRoot(std::move(root));
  global.StartExchange();
  ASSERT_TRUE(test::WaitFor([&] { return test::TagHas(*tag, 20); }, 5000));
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the silent device's poll waits
    const int writesBefore = slave.Writes();
    const auto start = Clock::now();
    EXPECT_EQ(WriteUInt16(*group, *tag, UA_UInt16(100 + i)), kStatusGood);
    EXPECT_LT(ElapsedMs(start), 500) << "waited behind the poll";
    EXPECT_EQ(slave.Writes(), writesBefore + 1);
  }
  // The poll the writes cut short is made again: the silent device is still found out.
  EXPECT_TRUE(test::WaitFor([&] { return silent->Status() == kStatusBadTimeout; }, 10000));
  EXPECT_TRUE(test::TagHas(*tag, 20));  // the other device is still polled (this slave keeps i in register i)
  global.StopExchange();
}

TEST(EngineStatuses, NoTagReadsGoodBeforeItsFirstValue) {
  FakeTcpSlave slave;
  ASSERT_TRUE(slave.Start());
  slave.SetBehaviour(FakeTcpSlave::Behaviour::kLate);  // the first answer takes 300 ms
  CGlobal global;
  auto root = std::make_unique<CTreeItemRoot>();
  CChannel* channel = test::AddTcpChannel(*root, slave.Port(), kProtocolTcp, 1000);
  CDATag* polled = test::AddTag(*test::AddGroup(*test::AddDevice(*channel, 1), 50), "R10", kRegHolding, 10, kTypeUInt16);
  CDevice* emulatedDevice = test::AddDevice(*channel, 2, "Emul");
  emulatedDevice->m_Data.m_Emulation = true;
  CDATag* emulated = test::AddTag(*test::AddGroup(*emulatedDevice, 60000), "C", kRegHolding, 1, kTypeUInt16);
  emulated->m_Data.SetEmulKind(kEmulConst);
  std::get<CEmulData_Const>(emulated->m_Data.m_Emul).m_Value = 7.0;
  global.SetRoot(std::move(root));
  EXPECT_EQ(polled->Status(), kStatusBadWaitingForInitialData);  // published before any exchange
  global.StartExchange();
  ASSERT_TRUE(test::WaitFor([&] { return channel->IsThreadRunning(); }, 2000));
  EXPECT_EQ(polled->Status(), kStatusBadWaitingForInitialData);
  EXPECT_TRUE(test::WaitFor([&] { return test::TagHas(*emulated, 7.0); }, 100));
  EXPECT_TRUE(test::WaitFor([&] { return test::TagHas(*polled, 10); }, 3000));
  global.StopExchange();
  // A new start has measured nothing yet either.
  slave.SetBehaviour(FakeTcpSlave::Behaviour::kSilent);
  global.StartExchange();
  ASSERT_TRUE(test::WaitFor([&] { return channel->IsThreadRunning(); }, 2000));
  EXPECT_TRUE(test::WaitFor([&] { return polled->Status() == kStatusBadWaitingForInitialData; }, 500));
  global.StopExchange();
}

// A slave of 50 holding registers and tags at 0 to 99 in one group: the
// block of 100 is split until the 50 missing addresses stand alone.
TEST(EngineStatuses, AnIllegalAddressSpoilsOnlyItsOwnTag) {
  test::PymodbusSlave slave;
  slave.SetOptions({"--size", "50"});
  ASSERT_TRUE(slave.StartTcp());
  CGlobal global;
  auto root = std::make_unique<CTreeItemRoot>();
  CChannel* channel = test::AddTcpChannel(*root, slave.Port(), kProtocolTcp, 1000);
  CGroup* group = test::AddGroup(*test::AddDevice(*channel, 1), 100);
  std::vector<CDATag*> tags;
  for (uint16_t a = 0; a < 100; ++a)
    tags.push_back(test::AddTag(*group, "R" + std::to_string(a), kRegHolding, a, kTypeUInt16));
  global.SetRoot(std::move(root));
  global.StartExchange();
  auto settled = [&] {
    for (uint16_t a = 0; a < 100; ++a)
      if (a < 50 ? !test::TagHas(*tags[a], a) : tags[a]->Status() != kStatusBadOutOfRange) return false;
    return true;
  };
  ASSERT_TRUE(test::WaitFor(settled, 10000));
  // The split is remembered: later polls keep every existing register Good.
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  EXPECT_TRUE(settled());
  EXPECT_EQ(Int32Value(channel->Devices().front()->m_Connection), kConnectionGood);
  global.StopExchange();
}

}  // namespace
}  // namespace virk
