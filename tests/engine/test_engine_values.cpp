// Every value type in every byte order, read from a libmodbus slave whose
// registers the test fills by its own encoding; writes of every function,
// single and in group mode, and byte and bit tags through the register image.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "byte_order.h"
#include "engine_tree.h"
#include "libmodbus_slave.h"

namespace virk {
namespace {

struct TypedValue {
  int32_t type;
  uint16_t registers;
  uint64_t bits;  // the value's bytes, least significant first
  double expected;
};

uint64_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

uint64_t DoubleBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

const TypedValue kValues[] = {
    {kTypeFloat32, 2, FloatBits(123.5f), 123.5},
    {kTypeFloat64, 4, DoubleBits(-2.25e10), -2.25e10},
    {kTypeUInt16, 1, 0xBEEF, 48879},
    {kTypeUInt32, 2, 0xDEADBEEF, 3735928559.0},
    {kTypeInt16, 1, 0xFB2E, -1234},
    {kTypeInt32, 2, uint32_t(-123456789), -123456789},
};

// Registers as sent in the named order: letter A is the least significant byte.
std::vector<uint16_t> Encode(uint64_t bits, const std::string& order) {
  std::vector<uint8_t> sent;
  for (char letter : order)
    if (letter != ' ') sent.push_back(uint8_t(bits >> (8 * (letter - 'A'))));
  std::vector<uint16_t> registers;
  for (size_t i = 0; i + 1 < sent.size(); i += 2) registers.push_back(uint16_t(sent[i] << 8 | sent[i + 1]));
  return registers;
}

class EngineValues : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Root = std::make_unique<CTreeItemRoot>();
  }
  // Starts the slave and the engine on it and waits (bounded) until `done`.
  void Run(const std::function<bool()>& done) {
    ASSERT_TRUE(m_Slave.StartTcp());
    m_Channel->m_Data.Tcp()->m_Port = m_Slave.Port();
    m_Global.SetRoot(std::move(m_Root));
    m_Global.StartExchange();
    EXPECT_TRUE(test::WaitFor(done, 10000));
  }
  CGroup* MakeGroup() {
    m_Channel = test::AddTcpChannel(*m_Root, 1, kProtocolTcp);
    m_Device = test::AddDevice(*m_Channel, 1);
    return test::AddGroup(*m_Device, 20);
  }

  std::unique_ptr<CTreeItemRoot> m_Root;
  CChannel* m_Channel = nullptr;
  CDevice* m_Device = nullptr;
  test::LibmodbusSlave m_Slave;
  CGlobal m_Global;
};

TEST_F(EngineValues, EveryTypeInEveryByteOrderReadsWhatTheSlaveHolds) {
  CGroup* group = MakeGroup();
  struct Case {
    CDATag* tag;
    double expected;
  };
  std::vector<Case> cases;
  uint16_t address = 0;
  for (const TypedValue& value : kValues) {
    const auto& orders = ByteOrderNames(value.registers);
    for (size_t order = 0; order < orders.size(); ++order) {
      const std::vector<uint16_t> registers = Encode(value.bits, orders[order]);
      for (size_t i = 0; i < registers.size(); ++i) m_Slave.SetHoldingRegister(address + int(i), registers[i]);
      const std::string name = "T" + std::to_string(address);
      cases.push_back({test::AddTag(*group, name, kRegHolding, address, value.type, int32_t(order)),
                       value.expected});
      address = uint16_t(address + value.registers + 1);
    }
  }
  // Bytes and bits of one register 0x12AB.
  const uint16_t shared = address;
  m_Slave.SetHoldingRegister(shared, 0x12AB);
  cases.push_back({test::AddTag(*group, "Low", kRegHolding, shared, kTypeLowByte), 0xAB});
  cases.push_back({test::AddTag(*group, "High", kRegHolding, shared, kTypeHighByte), 0x12});
  for (int bit = 0; bit < 16; ++bit)
    cases.push_back({test::AddTag(*group, "Bit" + std::to_string(bit), kRegHolding, shared, kTypeBit0 + bit),
                     double((0x12AB >> bit) & 1)});

  Run([&] {
    for (const Case& c : cases)
      if (!test::TagHas(*c.tag, c.expected)) return false;
    return true;
  });
  for (const Case& c : cases) {
    double value = 0;
    uint32_t status = 1;
    EXPECT_TRUE(test::TagNumber(*c.tag, value, status)) << c.tag->Name();
    EXPECT_EQ(value, c.expected) << c.tag->Name() << " type " << c.tag->ValueType() << " order "
                                 << c.tag->ByteOrder();
    EXPECT_EQ(status, kStatusGood) << c.tag->Name();
  }
  m_Global.StopExchange();
}

TEST_F(EngineValues, WritesOfEveryFunctionReachTheSlave) {
  CGroup* group = MakeGroup();
  // Function 6: one register alone; 16: two registers in group mode; 5 and
  // 15 likewise for coils; a bit and a byte tag through the register image.
  CDATag* single = test::AddTag(*group, "Single", kRegHolding, 400, kTypeUInt16);
  single->m_Data.m_bWriteGroup = false;
  CDATag* pairLow = test::AddTag(*group, "PairLow", kRegHolding, 410, kTypeUInt16);
  CDATag* pairHigh = test::AddTag(*group, "PairHigh", kRegHolding, 411, kTypeUInt16);
  CDATag* coil = test::AddTag(*group, "Coil", kRegCoil, 420, kTypeBool);
  coil->m_Data.m_bWriteGroup = false;
  CDATag* coilA = test::AddTag(*group, "CoilA", kRegCoil, 430, kTypeBool);
  CDATag* coilB = test::AddTag(*group, "CoilB", kRegCoil, 431, kTypeBool);
  CDATag* bit3 = test::AddTag(*group, "Bit3", kRegHolding, 440, kTypeBit0 + 3);
  CDATag* high = test::AddTag(*group, "HighByte", kRegHolding, 441, kTypeHighByte);
  m_Slave.SetHoldingRegister(440, 0x00F0);
  m_Slave.SetHoldingRegister(441, 0x1234);
  // Reads have begun to come in; writes and polls now interleave.
  Run([&] { return test::TagHas(*single, 400) && test::TagHas(*high, 0x12); });

  auto number = [](UA_Variant& variant, UA_UInt16& storage, UA_UInt16 value) {
    storage = value;
    UA_Variant_setScalar(&variant, &storage, &UA_TYPES[UA_TYPES_UINT16]);
  };
  UA_UInt16 n[3];
  UA_Boolean on = true;
  UA_Variant values[3];
  number(values[0], n[0], 1111);
  EXPECT_EQ(group->Write(*single, values[0]), 0);
  number(values[0], n[0], 2222);
  number(values[1], n[1], 3333);
  CDATag* pair[2] = {pairLow, pairHigh};
  uint32_t results[2] = {};
  EXPECT_EQ(group->Write(2, pair, values, results), 0);
  UA_Variant_setScalar(&values[0], &on, &UA_TYPES[UA_TYPES_BOOLEAN]);
  EXPECT_EQ(group->Write(*coil, values[0]), 0);
  UA_Boolean off = false;
  UA_Variant_setScalar(&values[1], &off, &UA_TYPES[UA_TYPES_BOOLEAN]);
  CDATag* coils[2] = {coilA, coilB};
  EXPECT_EQ(group->Write(2, coils, values, results), 0);
  EXPECT_EQ(group->Write(*bit3, values[0]), 0);
  UA_Byte byte = 0x56;
  UA_Variant_setScalar(&values[0], &byte, &UA_TYPES[UA_TYPES_BYTE]);
  EXPECT_EQ(group->Write(*high, values[0]), 0);

  EXPECT_EQ(m_Slave.HoldingRegister(400), 1111);
  EXPECT_EQ(m_Slave.HoldingRegister(410), 2222);
  EXPECT_EQ(m_Slave.HoldingRegister(411), 3333);
  // Coil i starts as i % 2.
  EXPECT_TRUE(m_Slave.Coil(420));
  EXPECT_TRUE(m_Slave.Coil(430));
  EXPECT_FALSE(m_Slave.Coil(431));
  EXPECT_EQ(m_Slave.HoldingRegister(440), 0x00F8);  // other bits kept
  EXPECT_EQ(m_Slave.HoldingRegister(441), 0x5634);  // low byte kept
  m_Global.StopExchange();
}

}  // namespace
}  // namespace virk
