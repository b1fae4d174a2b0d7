// The published tree seen by an OPC UA client: identifiers, types, access
// levels and names of folders, tags and device status variables; what reads
// and writes return; the monitored flag.
#include <gtest/gtest.h>
#include <open62541/client_subscriptions.h>

#include <chrono>
#include <thread>

#include "gateway_fixture.h"
#include "loopback_listener.h"
#include "test_tree.h"
#include "ua_calls.h"

namespace virk::server {
namespace {

using namespace std::chrono_literals;
using test::AddDevice;
using test::AddGroup;
using test::AddTag;
using test::AddTcpChannel;
using test::ReadResult;

// Two TCP channels A and B, each with an emulated device D and a group G.
class AddressSpace : public ::testing::Test {
 protected:
  void SetUp() override {
    auto root = std::make_unique<CTreeItemRoot>();
    for (const char* channel : {"A", "B"}) {
      CGroup& group = AddGroup(AddDevice(AddTcpChannel(*root, channel, 502), "D", true), "G");
      AddTag(group, "T", kRegHolding, 0);
    }
    CItem& group = *root->FindChild("A")->FindChild("D")->FindChild("G");
    AddTag(group, "Input", kRegDiscreteInput, 1, kTypeUInt16, true, true);
    CDATag& scaled = AddTag(group, "Scaled", kRegHolding, 2, kTypeInt16);
    scaled.m_Data.SetTransformKind(kTransformFactor);
    AddTag(group, "Code30", kRegHolding, 3, 30);
    AddTag(group, "Hidden", kRegHolding, 4, kTypeUInt16, false, false);
    AddTag(group, "InputReg", kRegInput, 5, kTypeUInt16, true, true);
    AddTag(group, "WriteOnly", kRegHolding, 6, kTypeUInt16, false, true);
    m_Global.SetRoot(std::move(root));
    m_Gateway = std::make_unique<test::InProcessGateway>(*m_Global.Root(), m_Exchange);
    ASSERT_TRUE(m_Gateway->Ready());
    ASSERT_TRUE(test::Connect(m_Client, m_Gateway->Url()));
  }
  void TearDown() override {
    UA_Client_disconnect(m_Client.get());
    m_Gateway.reset();
  }
  CItem& Item(const std::string& fullName) {
    return *m_Gateway->Paused([&] { return m_Gateway->Gate().Callback().Find(fullName)->item; });
  }
  UA_Client* Client() { return m_Client.get(); }

  CGlobal m_Global;  // outlives the server whose nodes point into its tree
  GlobalExchange m_Exchange{m_Global};
  std::unique_ptr<test::InProcessGateway> m_Gateway;
  test::OpcUaClient m_Client;
};

TEST_F(AddressSpace, FoldersOfBothChannelsHaveDistinctIdentifiers) {
  for (const std::string name : {"Каналы", "A", "B", "A.D", "B.D", "A.D.G", "B.D.G"}) {
    ReadResult nodeClass, browseName;
    test::Read(Client(), name, UA_ATTRIBUTEID_NODECLASS, nodeClass);
    test::Read(Client(), name, UA_ATTRIBUTEID_BROWSENAME, browseName);
    EXPECT_EQ(nodeClass.value.status, UA_STATUSCODE_GOOD) << name;
    EXPECT_EQ(nodeClass.Scalar<UA_NodeClass>(), UA_NODECLASS_OBJECT) << name;
    const auto qualified = browseName.Scalar<UA_QualifiedName>();
    EXPECT_EQ(qualified.namespaceIndex, test::kGatewayNamespace);
    EXPECT_EQ(test::Text(qualified.name), name);
  }
  ReadResult type;
  test::Read(Client(), "A.D.G", UA_ATTRIBUTEID_NODECLASS, type);
  EXPECT_NE(&Item("A.D"), &Item("B.D"));
}

TEST_F(AddressSpace, TagTypesAccessLevelsAndNames) {
  struct Expected {
    const char* name;
    const UA_DataType* type;
    UA_Byte access;
  } expected[] = {
      {"A.D.G.Input", &UA_TYPES[UA_TYPES_BOOLEAN], 1},   // discrete input: Boolean, never writable
      {"A.D.G.Scaled", &UA_TYPES[UA_TYPES_DOUBLE], 3},   // transformed register
      {"A.D.G.Code30", &UA_TYPES[UA_TYPES_FLOAT], 3},    // unknown value type
      {"A.D.G.Hidden", &UA_TYPES[UA_TYPES_UINT16], 0},
      {"A.D.G.InputReg", &UA_TYPES[UA_TYPES_UINT16], 1},
      {"A.D.G.WriteOnly", &UA_TYPES[UA_TYPES_UINT16], 2},
      {"A.D._Emulation", &UA_TYPES[UA_TYPES_BOOLEAN], 3},
      {"A.D._Exchange", &UA_TYPES[UA_TYPES_BOOLEAN], 3},
      {"A.D._Connection", &UA_TYPES[UA_TYPES_INT32], 1},
      {"A.D._ResponseTime", &UA_TYPES[UA_TYPES_FLOAT], 1},
      {"B.D._ScanTime", &UA_TYPES[UA_TYPES_FLOAT], 1},
  };
  for (const Expected& e : expected) {
    ReadResult dataType, access, userAccess, displayName, description;
    test::Read(Client(), e.name, UA_ATTRIBUTEID_DATATYPE, dataType);
    test::Read(Client(), e.name, UA_ATTRIBUTEID_ACCESSLEVEL, access);
    test::Read(Client(), e.name, UA_ATTRIBUTEID_USERACCESSLEVEL, userAccess);
    test::Read(Client(), e.name, UA_ATTRIBUTEID_DISPLAYNAME, displayName);
    test::Read(Client(), e.name, UA_ATTRIBUTEID_DESCRIPTION, description);
    const UA_NodeId typeId = dataType.Scalar<UA_NodeId>();
    EXPECT_TRUE(UA_NodeId_equal(&typeId, &e.type->typeId)) << e.name;
    EXPECT_EQ(access.Scalar<UA_Byte>(), e.access) << e.name;
    EXPECT_EQ(userAccess.Scalar<UA_Byte>(), e.access) << e.name;
    for (const ReadResult* text : {&displayName, &description}) {
      const auto localized = text->Scalar<UA_LocalizedText>();
      EXPECT_EQ(test::Text(localized.locale), "ru-RU") << e.name;
      EXPECT_EQ(test::Text(localized.text), e.name);
    }
    ReadResult value;
    test::Read(Client(), e.name, UA_ATTRIBUTEID_VALUE, value);
    if (e.access & 1) {
      EXPECT_EQ(value.Type(), e.type) << e.name;
    }
  }
}

TEST_F(AddressSpace, ReadsReturnTheStoredValueStatusAndTime) {
  auto& tag = dynamic_cast<CDATag&>(Item("A.D.G.T"));
  UA_UInt16 stored = 4321;
  UA_Variant value;
  UA_Variant_setScalar(&value, &stored, &UA_TYPES[UA_TYPES_UINT16]);
  tag.SetValue(value, kStatusGood);
  tag.SetStatus(kStatusBad);  // what the engine stores when the device stops answering
  std::this_thread::sleep_for(20ms);
  ReadResult read;
  test::Read(Client(), "A.D.G.T", UA_ATTRIBUTEID_VALUE, read);
  EXPECT_EQ(read.service, UA_STATUSCODE_GOOD);
  EXPECT_EQ(read.value.status, kStatusBad);
  EXPECT_EQ(read.Scalar<UA_UInt16>(), 4321);
  // The source time is when the value was stored, not the time of the read,
  // so a kept value does not pass for a fresh one.
  EXPECT_TRUE(read.value.hasSourceTimestamp);
  EXPECT_EQ(read.value.sourceTimestamp, tag.Timestamp());
  EXPECT_GE(read.value.serverTimestamp - read.value.sourceTimestamp, 20 * UA_DATETIME_MSEC);
}

TEST_F(AddressSpace, StatusVariableWrites) {
  EXPECT_NE(test::WriteScalar<UA_Int32>(Client(), "A.D._Connection", 7, &UA_TYPES[UA_TYPES_INT32]),
            UA_STATUSCODE_GOOD);
  ReadResult connection;
  test::Read(Client(), "A.D._Connection", UA_ATTRIBUTEID_VALUE, connection);
  EXPECT_EQ(connection.Scalar<UA_Int32>(), 0);

  EXPECT_EQ(test::WriteScalar<UA_Boolean>(Client(), "A.D._Exchange", false, &UA_TYPES[UA_TYPES_BOOLEAN]),
            UA_STATUSCODE_GOOD);
  ReadResult exchange;
  test::Read(Client(), "A.D._Exchange", UA_ATTRIBUTEID_VALUE, exchange);
  EXPECT_EQ(exchange.value.status, UA_STATUSCODE_GOOD);
  EXPECT_FALSE(exchange.Scalar<UA_Boolean>());
  EXPECT_FALSE(dynamic_cast<CDevice&>(Item("A.D")).IsExchangeOn());
  // B.D is a device of its own.
  ReadResult other;
  test::Read(Client(), "B.D._Exchange", UA_ATTRIBUTEID_VALUE, other);
  EXPECT_TRUE(other.Scalar<UA_Boolean>());
}

TEST_F(AddressSpace, TagWritesReportWhatTheDeviceDid) {
  // Emulated: nothing is sent and the write is Good.
  EXPECT_EQ(test::WriteScalar<UA_UInt16>(Client(), "A.D.G.T", 5, &UA_TYPES[UA_TYPES_UINT16]), UA_STATUSCODE_GOOD);
  // Exchange with the device switched off: refused.
  ASSERT_EQ(test::WriteScalar<UA_Boolean>(Client(), "A.D._Exchange", false, &UA_TYPES[UA_TYPES_BOOLEAN]),
            UA_STATUSCODE_GOOD);
  EXPECT_EQ(test::WriteScalar<UA_UInt16>(Client(), "A.D.G.T", 5, &UA_TYPES[UA_TYPES_UINT16]),
            UA_STATUSCODE_BADOUTOFSERVICE);
  // A real device whose channel does not run cannot take the value.
  ASSERT_EQ(test::WriteScalar<UA_Boolean>(Client(), "B.D._Emulation", false, &UA_TYPES[UA_TYPES_BOOLEAN]),
            UA_STATUSCODE_GOOD);
  EXPECT_EQ(test::WriteScalar<UA_UInt16>(Client(), "B.D.G.T", 5, &UA_TYPES[UA_TYPES_UINT16]),
            UA_STATUSCODE_BADOUTOFSERVICE);
  // Not writable by its access level: refused by the server before any callback.
  EXPECT_NE(test::WriteScalar<UA_UInt16>(Client(), "A.D.G.InputReg", 5, &UA_TYPES[UA_TYPES_UINT16]),
            UA_STATUSCODE_GOOD);
}

TEST_F(AddressSpace, RemovingOneOfTwoMonitoredItemsClearsTheFlag) {
  auto monitored = [&] {
    return m_Gateway->Paused([&] { return m_Gateway->Gate().Callback().Find("A.D.G.T")->monitored; });
  };
  EXPECT_FALSE(monitored());
  UA_CreateSubscriptionResponse subscription =
      UA_Client_Subscriptions_create(Client(), UA_CreateSubscriptionRequest_default(), nullptr, nullptr, nullptr);
  ASSERT_EQ(subscription.responseHeader.serviceResult, UA_STATUSCODE_GOOD);
  UA_UInt32 ids[2];
  for (UA_UInt32& id : ids) {
    UA_MonitoredItemCreateRequest request = UA_MonitoredItemCreateRequest_default(test::GatewayNode("A.D.G.T"));
    UA_MonitoredItemCreateResult result = UA_Client_MonitoredItems_createDataChange(
        Client(), subscription.subscriptionId, UA_TIMESTAMPSTORETURN_BOTH, request, nullptr, nullptr, nullptr);
    ASSERT_EQ(result.statusCode, UA_STATUSCODE_GOOD);
    id = result.monitoredItemId;
  }
  EXPECT_TRUE(monitored());
  ASSERT_EQ(UA_Client_MonitoredItems_deleteSingle(Client(), subscription.subscriptionId, ids[0]), UA_STATUSCODE_GOOD);
  EXPECT_FALSE(monitored()) << "a flag, not a count";
}

// A device that accepts the connection and never answers.
TEST(AddressSpaceSilentDevice, ReadIsGoodWithBadStatusAndWriteFails) {
  virk::test::LoopbackListener listener;
  ASSERT_TRUE(listener.Start());
  CGlobal global;
  auto root = std::make_unique<CTreeItemRoot>();
  CChannel& channel = AddTcpChannel(*root, "S", listener.Port());
  channel.m_Data.m_ResponseTimeout = 1000;  // a write that waited for it would show
  AddTag(AddGroup(AddDevice(channel, "D", false), "G", 50), "T", kRegHolding, 0);
  global.SetRoot(std::move(root));
  GlobalExchange exchange(global);
  test::InProcessGateway gateway(*global.Root(), exchange);
  ASSERT_TRUE(gateway.Ready());
  test::OpcUaClient client;
  ASSERT_TRUE(test::Connect(client, gateway.Url()));
  global.StartExchange();
  UA_StatusCode status = UA_STATUSCODE_GOOD;
  for (int i = 0; i < 100 && status != kStatusBadTimeout; ++i) {
    std::this_thread::sleep_for(50ms);
    ReadResult read;
    test::Read(client.get(), "S.D.G.T", UA_ATTRIBUTEID_VALUE, read);
    ASSERT_EQ(read.service, UA_STATUSCODE_GOOD);
    status = read.value.status;
  }
  EXPECT_EQ(status, kStatusBadTimeout);
  // The device is known down: the write is answered at once, without a
  // request that would hold every client up for the response time-out.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(test::WriteScalar<UA_UInt16>(client.get(), "S.D.G.T", 1, &UA_TYPES[UA_TYPES_UINT16]),
            UA_STATUSCODE_BADNOCOMMUNICATION);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
  global.StopExchange();
  UA_Client_disconnect(client.get());
}

}  // namespace
}  // namespace virk::server
