// The engine against pymodbus slaves of known contents: Modbus TCP, RTU
// over TCP, and RTU and ASCII on a socat serial line.
#include <algorithm>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "byte_order.h"
#include "com_path.h"
#include "engine_tree.h"
#include "libmodbus_slave.h"
#include "pymodbus_slave.h"
#include "socat_pair.h"

namespace virk {
namespace {

int32_t OrderCode(uint16_t registers, const std::string& name) {
  const auto& names = ByteOrderNames(registers);
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return int32_t(i);
  ADD_FAILURE() << "no byte order " << name;
  return 0;
}

// Float 123.5 is 0x42F70000: high word first at 100, low word first at 102.
const char* kSlaveContents = R"({"hr": {"100": 17143, "101": 0, "102": 0, "103": 17143,
                                         "110": 65535, "111": 65534}})";

struct Scenario {
  CGlobal global;
  CDevice* device = nullptr;
  CGroup* group = nullptr;
  CDATag* hr10 = nullptr;
  CDATag* floatHighFirst = nullptr;
  CDATag* floatLowFirst = nullptr;
  CDATag* int32 = nullptr;
  CDATag* ir5 = nullptr;
  CDATag* coil3 = nullptr;
  CDATag* input3 = nullptr;
  CDATag* input4 = nullptr;
  CDATag* hr200 = nullptr;
  CDATag* coil8 = nullptr;

  explicit Scenario(CChannel* (*addChannel)(CTreeItemRoot&)) {
    auto root = std::make_unique<CTreeItemRoot>();
    CChannel* channel = addChannel(*root);
    device = test::AddDevice(*channel, 1);
    group = test::AddGroup(*device, 20);
    using test::AddTag;
    hr10 = AddTag(*group, "HR10", kRegHolding, 10, kTypeUInt16, OrderCode(1, "BA"));
    floatHighFirst = AddTag(*group, "F100", kRegHolding, 100, kTypeFloat32, OrderCode(2, "DC BA"));
    floatLowFirst = AddTag(*group, "F102", kRegHolding, 102, kTypeFloat32, OrderCode(2, "BA DC"));
    int32 = AddTag(*group, "I110", kRegHolding, 110, kTypeInt32, OrderCode(2, "DC BA"));
    ir5 = AddTag(*group, "IR5", kRegInput, 5, kTypeUInt16, OrderCode(1, "BA"));
    coil3 = AddTag(*group, "C3", kRegCoil, 3, kTypeBool);
    input3 = AddTag(*group, "D3", kRegDiscreteInput, 3, kTypeBool);
    input4 = AddTag(*group, "D4", kRegDiscreteInput, 4, kTypeBool);
    hr200 = AddTag(*group, "HR200", kRegHolding, 200, kTypeUInt16, OrderCode(1, "BA"));
    hr200->m_Data.m_bWriteGroup = false;
    coil8 = AddTag(*group, "C8", kRegCoil, 8, kTypeBool);
    global.SetRoot(std::move(root));
  }

  void ReadsTheSlaveAndWritesToIt() {
    global.StartExchange();
    // Without fragmentation the values come in several requests: wait for all.
    auto allRead = [&] {
      return test::TagHas(*hr10, 10) && test::TagHas(*floatHighFirst, 123.5) &&
             test::TagHas(*floatLowFirst, 123.5) && test::TagHas(*int32, -2) &&  // 0xFFFFFFFE
             test::TagHas(*ir5, 0x1005) && test::TagHas(*coil3, 1) && test::TagHas(*input3, 1) &&
             test::TagHas(*input4, 0);
    };
    EXPECT_TRUE(test::WaitFor(allRead, 10000));
    for (const CDATag* tag : {hr10, floatHighFirst, floatLowFirst, int32, ir5, coil3, input3, input4}) {
      double value = 0;
      uint32_t status = 1;
      EXPECT_TRUE(test::TagNumber(*tag, value, status));
      EXPECT_EQ(status, kStatusGood) << tag->Name() << " = " << value;
    }
    EXPECT_EQ(Int32Value(device->m_Connection), kConnectionGood);

    // Function 6 for the register, 5 for the coil; the polls read them back.
    UA_UInt16 number = 4321;
    UA_Variant value;
    UA_Variant_setScalar(&value, &number, &UA_TYPES[UA_TYPES_UINT16]);
    EXPECT_EQ(group->Write(*hr200, value), 0);
    UA_Boolean on = true;
    UA_Variant_setScalar(&value, &on, &UA_TYPES[UA_TYPES_BOOLEAN]);
    EXPECT_EQ(group->Write(*coil8, value), 0);
    EXPECT_TRUE(test::WaitFor([&] { return test::TagHas(*hr200, 4321); }, 5000));
    EXPECT_TRUE(test::WaitFor([&] { return test::TagHas(*coil8, 1); }, 5000));
    global.StopExchange();
  }
};

uint16_t g_SlavePort = 0;

class EnginePeers : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv(kComTemplateVariable); }
  test::PymodbusSlave m_Slave;
};

TEST_F(EnginePeers, ModbusTcp) {
  ASSERT_TRUE(m_Slave.StartTcp("socket", "1", kSlaveContents));
  g_SlavePort = m_Slave.Port();
  Scenario scenario([](CTreeItemRoot& root) {
    return test::AddTcpChannel(root, g_SlavePort, kProtocolTcp);
  });
  scenario.ReadsTheSlaveAndWritesToIt();
}

TEST_F(EnginePeers, RtuOverTcp) {
  ASSERT_TRUE(m_Slave.StartTcp("rtu", "1", kSlaveContents));
  g_SlavePort = m_Slave.Port();
  Scenario scenario([](CTreeItemRoot& root) {
    return test::AddTcpChannel(root, g_SlavePort, kProtocolRtu);
  });
  scenario.ReadsTheSlaveAndWritesToIt();
}

TEST(EngineLibmodbus, ReadsAndWritesALibmodbusSlave) {
  test::LibmodbusSlave slave;
  // The same contents as the pymodbus slave's.
  for (const auto& [address, value] : {std::pair<int, uint16_t>{100, 17143}, {101, 0}, {102, 0},
                                       {103, 17143}, {110, 65535}, {111, 65534}})
    slave.SetHoldingRegister(address, value);
  ASSERT_TRUE(slave.StartTcp());
  g_SlavePort = slave.Port();
  Scenario scenario([](CTreeItemRoot& root) {
    return test::AddTcpChannel(root, g_SlavePort, kProtocolTcp);
  });
  scenario.ReadsTheSlaveAndWritesToIt();
  // The writes reached the slave's own registers and coils.
  EXPECT_EQ(slave.HoldingRegister(200), 4321);
  EXPECT_TRUE(slave.Coil(8));
}

class EngineSerialPeers : public EnginePeers {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_Pair.Start());
    setenv(kComTemplateVariable, m_Pair.ComTemplateForEndA().c_str(), 1);
  }
  test::SocatPair m_Pair;
};

TEST_F(EngineSerialPeers, RtuOnASerialLine) {
  ASSERT_TRUE(m_Slave.StartSerial(m_Pair.EndB(), "rtu", 9600, "1", kSlaveContents));
  Scenario scenario([](CTreeItemRoot& root) {
    return test::AddComChannel(root, 1, 9600, kProtocolRtu, 1000);
  });
  scenario.ReadsTheSlaveAndWritesToIt();
}

TEST_F(EngineSerialPeers, AsciiOnASerialLine) {
  ASSERT_TRUE(m_Slave.StartSerial(m_Pair.EndB(), "ascii", 9600, "1", kSlaveContents));
  Scenario scenario([](CTreeItemRoot& root) {
    return test::AddComChannel(root, 1, 9600, kProtocolAscii, 1000);
  });
  scenario.ReadsTheSlaveAndWritesToIt();
}

TEST_F(EngineSerialPeers, PortIsClosedWhenTheDeviceGoesAwayAndReopenedWhenItIsBack) {
  ASSERT_TRUE(m_Slave.StartSerial(m_Pair.EndB(), "rtu", 9600));
  CGlobal global;
  auto root = std::make_unique<CTreeItemRoot>();
  CChannel* channel = test::AddComChannel(*root, 1, 9600, kProtocolRtu, 200);
  CDevice* device = test::AddDevice(*channel, 1);
  CGroup* group = test::AddGroup(*device, 20);
  CDATag* hr10 = test::AddTag(*group, "HR10", kRegHolding, 10, kTypeUInt16, OrderCode(1, "BA"));
  global.SetRoot(std::move(root));
  global.StartExchange();
  ASSERT_TRUE(test::WaitFor([&] { return test::TagHas(*hr10, 10); }, 10000));

  m_Slave.Stop();
  m_Pair.Stop();
  EXPECT_TRUE(test::WaitFor([&] { return hr10->Status() == kStatusBadNotConnected; }, 5000));
  EXPECT_TRUE(test::WaitFor([&] { return channel->ConnectionState() == kLinkInitFailed; }, 5000));
  EXPECT_FALSE(channel->IsPortOpen());

  ASSERT_TRUE(m_Pair.Start());
  ASSERT_TRUE(m_Slave.StartSerial(m_Pair.EndB(), "rtu", 9600));
  EXPECT_TRUE(test::WaitFor([&] { return test::TagHas(*hr10, 10); }, 10000));
  EXPECT_TRUE(channel->IsPortOpen());
  EXPECT_EQ(Int32Value(device->m_Connection), kConnectionGood);
  global.StopExchange();
}

// One serial line, three live devices and one that never answers (unit 9;
// an RTU slave leaves frames to other units unanswered). Polled every
// 200 ms with a response time-out of 1 s and one attempt. Counts the polls that reached a
// live tag within a window, starting once the silent device has failed as
// often as demotion asks.
struct SilentDeviceLine {
  CGlobal global;
  std::vector<CDATag*> liveTags;
  CDevice* silent = nullptr;
  CDATag* silentTag = nullptr;

  explicit SilentDeviceLine(const DemotionRule& rule) {
    auto root = std::make_unique<CTreeItemRoot>();
    CChannel* channel = test::AddComChannel(*root, 1, 19200, kProtocolRtu, 1000);
    channel->m_Data.m_Attempts = 1;
    for (uint8_t unit : {1, 2, 3}) {
      CDevice* device = test::AddDevice(*channel, unit, "Dev" + std::to_string(unit));
      liveTags.push_back(test::AddTag(*test::AddGroup(*device, 200), "HR10", kRegHolding, 10, kTypeUInt16));
    }
    silent = test::AddDevice(*channel, 9, "Silent");
    silentTag = test::AddTag(*test::AddGroup(*silent, 200), "HR10", kRegHolding, 10, kTypeUInt16);
    global.SetRoot(std::move(root));
    global.SetDemotion(rule);
  }
  ~SilentDeviceLine() { global.StopExchange(); }

  // Fewest new values among the live tags within `windowMs`.
  int FewestLivePolls(int windowMs) {
    std::vector<UA_DateTime> last;
    std::vector<int> polls(liveTags.size(), 0);
    for (CDATag* tag : liveTags) last.push_back(tag->Timestamp());
    const auto start = std::chrono::steady_clock::now();
    while (test::ElapsedMs(start) < windowMs) {
      for (size_t i = 0; i < liveTags.size(); ++i)
        if (const UA_DateTime now = liveTags[i]->Timestamp(); now != last[i]) {
          last[i] = now;
          ++polls[i];
        }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return *std::min_element(polls.begin(), polls.end());
  }
};

TEST_F(EngineSerialPeers, ADemotedSilentDeviceNoLongerSlowsTheLiveOnesOfItsLine) {
  ASSERT_TRUE(m_Slave.StartSerial(m_Pair.EndB(), "rtu", 19200, "1,2,3"));
  const auto liveGood = [](SilentDeviceLine& line) {
    return std::all_of(line.liveTags.begin(), line.liveTags.end(),
                       [](const CDATag* tag) { return test::TagHas(*tag, 10); });
  };
  // Nominal: 10 polls of each live device in 2 s. Without demotion each turn
  // of the loop also waits 1 s for the silent device: about 2.
  int withoutDemotion = 0;
  {
    SilentDeviceLine line(DemotionRule{});
    line.global.StartExchange();
    ASSERT_TRUE(test::WaitFor([&] { return liveGood(line); }, 10000));
    ASSERT_TRUE(test::WaitFor([&] { return line.silentTag->Status() == kStatusBadTimeout; }, 5000));
    withoutDemotion = line.FewestLivePolls(2000);
    EXPECT_FALSE(line.silent->IsDemoted());
  }
  {
    SilentDeviceLine line(DemotionRule{2, 3000});
    line.global.StartExchange();
    ASSERT_TRUE(test::WaitFor([&] { return liveGood(line); }, 10000));
    ASSERT_TRUE(test::WaitFor([&] { return line.silent->IsDemoted(); }, 8000));
    const int withDemotion = line.FewestLivePolls(2000);
    EXPECT_GE(withDemotion, 6);
    EXPECT_LE(withoutDemotion, 4);
    EXPECT_GT(withDemotion, withoutDemotion);
    // Left out, it stays Bad and shows the failure; a write is refused at once.
    EXPECT_EQ(line.silentTag->Status(), kStatusBadTimeout);
    EXPECT_EQ(Int32Value(line.silent->m_Connection), kConnectionFailed);
    EXPECT_EQ(line.silent->WriteRefusal(), kStatusBadNoCommunication);
    // After its time out it is tried once, fails, and is left out again.
    ASSERT_TRUE(test::WaitFor([&] { return !line.silent->IsDemoted(); }, 3000));
    EXPECT_TRUE(test::WaitFor([&] { return line.silent->IsDemoted(); }, 3000));
    EXPECT_TRUE(liveGood(line));
  }
}

}  // namespace
}  // namespace virk
