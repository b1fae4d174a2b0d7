// The five methods called by an OPC UA client: their nodes, outputs, service
// results and log messages, and what addNode, editNode and deleteNode do to
// the tree, the name index and the address space.
#include <gtest/gtest.h>

#include "gateway_fixture.h"
#include "log_records.h"
#include "test_tree.h"
#include "ua_calls.h"

namespace virk::server {
namespace {

using test::CallMethod;
using test::ReadResult;

const std::pair<UA_StatusCode, std::string> kSuccess{UA_STATUSCODE_GOOD, "Success"};
const std::pair<UA_StatusCode, std::string> kFailed{UA_STATUSCODE_GOOD, "Failed"};

// A holding-register tag message for group `group`: name, 1-based address, value type.
std::string TagMessage(const std::string& group, const std::string& name, int address = 1, int valueType = 2) {
  return group + ";4;" + name + ";3;" + std::to_string(address) + ";" + std::to_string(valueType) +
         ";0;1;1;1;0;0;0;0;0;0";
}

// Channel A (TCP) with emulated device D, group G and tag T; channel C1 on COM1.
class Methods : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Log.Clear();
    test::AddTag(test::AddGroup(test::AddDevice(test::AddTcpChannel(m_Root, "A", 502), "D", true), "G"), "T",
                 kRegHolding, 0);
    test::AddItem<CChannel>(m_Root, kKindChannel, "C1");
    PrepareItems(m_Root);
    m_Gateway = std::make_unique<test::InProcessGateway>(m_Root, m_Exchange);
    ASSERT_TRUE(m_Gateway->Ready());
    ASSERT_TRUE(test::Connect(m_Client, m_Gateway->Url()));
  }
  void TearDown() override {
    UA_Client_disconnect(m_Client.get());
    m_Gateway.reset();
  }
  std::pair<UA_StatusCode, std::string> Call(const std::string& method, const std::string& input) {
    return CallMethod(m_Client.get(), method, input);
  }
  bool NodeExists(const std::string& fullName) {
    ReadResult read;
    test::Read(m_Client.get(), fullName, UA_ATTRIBUTEID_NODECLASS, read);
    return read.value.status == UA_STATUSCODE_GOOD;
  }
  CItem* Indexed(const std::string& fullName) {
    return m_Gateway->Paused([&]() -> CItem* {
      const PublishedNode* node = m_Gateway->Gate().Callback().Find(fullName);
      return node ? node->item : nullptr;
    });
  }
  size_t IndexSize() {
    return m_Gateway->Paused([&] { return m_Gateway->Gate().Callback().ItemIndex().size(); });
  }
  CItem* TreeItem(const std::vector<std::string>& path) {
    return m_Gateway->Paused([&] {
      const CItem* item = &m_Root;
      for (const std::string& name : path) item = item ? item->FindChild(name) : nullptr;
      return const_cast<CItem*>(item);
    });
  }
  UA_Byte AccessLevel(const std::string& fullName) {
    ReadResult read;
    test::Read(m_Client.get(), fullName, UA_ATTRIBUTEID_ACCESSLEVEL, read);
    return read.Scalar<UA_Byte>();
  }

  test::LogRecords& m_Log = test::LogRecords::Open();
  CTreeItemRoot m_Root;
  test::CountingExchange m_Exchange;
  std::unique_ptr<test::InProcessGateway> m_Gateway;
  test::OpcUaClient m_Client;
};

TEST_F(Methods, MethodNodesCarryTheirNamesAndDescriptions) {
  const std::pair<const char*, const char*> methods[] = {{"startExchange", "Начать мониторинг"},
                                                         {"stopExchange", "Остановить мониторинг"},
                                                         {"addNode", "Добавить ноду"},
                                                         {"deleteNode", "Удалить ноду"},
                                                         {"editNode", "Изменить ноду"}};
  for (const auto& [name, description] : methods) {
    const std::string id = std::string("Каналы.") + name;
    ReadResult display, text, executable;
    test::Read(m_Client.get(), id, UA_ATTRIBUTEID_DISPLAYNAME, display);
    test::Read(m_Client.get(), id, UA_ATTRIBUTEID_DESCRIPTION, text);
    test::Read(m_Client.get(), id, UA_ATTRIBUTEID_USEREXECUTABLE, executable);
    EXPECT_EQ(test::Text(display.Scalar<UA_LocalizedText>().locale), "en-US");
    EXPECT_EQ(test::Text(display.Scalar<UA_LocalizedText>().text), name);
    EXPECT_EQ(test::Text(text.Scalar<UA_LocalizedText>().locale), "ru-RU");
    EXPECT_EQ(test::Text(text.Scalar<UA_LocalizedText>().text), description);
    EXPECT_TRUE(executable.Scalar<UA_Boolean>()) << name;
  }
}

TEST_F(Methods, StartAndStopExchangeAndEmptyInputs) {
  EXPECT_EQ(Call("startExchange", ""), kSuccess);
  EXPECT_FALSE(m_Exchange.IsStarted()) << "an empty input switches nothing";
  EXPECT_EQ(Call("startExchange", "emul"), kSuccess);
  EXPECT_TRUE(m_Exchange.IsStarted());
  EXPECT_EQ(Call("stopExchange", "emul"), kSuccess);
  EXPECT_FALSE(m_Exchange.IsStarted());
  EXPECT_TRUE(m_Log.Contains("startExchange was called"));
  EXPECT_TRUE(m_Log.Contains("stopExchange was called"));

  for (const char* method : {"addNode", "editNode", "deleteNode"}) {
    EXPECT_EQ(Call(method, "").first, UA_STATUSCODE_BAD) << method;
    EXPECT_TRUE(m_Log.Contains(std::string("No parametrs for method ") + method));
  }
}

TEST_F(Methods, AddDeviceFromEightFieldsWithCharacterCodedNumbers) {
  // Address 200, 100 registers, 2000 states, fragmentation 0 cut off at the end.
  EXPECT_EQ(Call("addNode", "A;2;D2;\xC3\x88;1;1;d;\xDF\x90;"), kSuccess);
  auto* device = dynamic_cast<CDevice*>(TreeItem({"A", "D2"}));
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->m_Data.m_Addr, 200);
  EXPECT_EQ(device->m_Data.m_MaxRegsInReqv, 100);
  EXPECT_EQ(device->m_Data.m_MaxStatesInReqv, 2000);
  EXPECT_EQ(device->m_Data.m_dFragment, 0);
  EXPECT_EQ(Indexed("A.D2"), device);
  for (const char* status : {"_Emulation", "_Exchange", "_Connection", "_ResponseTime", "_ScanTime"})
    EXPECT_TRUE(NodeExists(std::string("A.D2.") + status)) << status;
  ReadResult emulation;
  test::Read(m_Client.get(), "A.D2._Emulation", UA_ATTRIBUTEID_VALUE, emulation);
  EXPECT_TRUE(emulation.Scalar<UA_Boolean>());
  EXPECT_TRUE(m_Log.Contains("addNode was called"));
}

TEST_F(Methods, AddChannelsGroupsAndTags) {
  EXPECT_EQ(Call("addNode", "Каналы;1;Net;1;500;3;0;2;16777343;1502;3000"), kSuccess);
  EXPECT_EQ(Call("addNode", "Каналы;1;Serial;0;500;3;0;0;2;9600;8;1;0;0;0;0"), kSuccess);
  EXPECT_EQ(Call("addNode", "Net;2;Dev;\x01;1;0;};"), kFailed) << "seven fields";
  EXPECT_EQ(Call("addNode", "Net;2;Dev;\x01;1;0;};\xDF\x90;"), kSuccess);
  EXPECT_EQ(Call("addNode", "Net.Dev;3;Fast;100;0"), kSuccess);
  EXPECT_EQ(Call("addNode", TagMessage("Net.Dev.Fast", "T1")), kSuccess);
  EXPECT_TRUE(NodeExists("Net.Dev.Fast.T1"));
  auto* tag = dynamic_cast<CDATag*>(TreeItem({"Net", "Dev", "Fast", "T1"}));
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->m_Data.m_Addr, 0) << "address 1 as the operator counts is register 0";
  EXPECT_EQ(AccessLevel("Net.Dev.Fast.T1"), 3);
  EXPECT_EQ(Call("editNode", TagMessage("Net.Dev.Fast.T1", "T1")), kSuccess);
  EXPECT_EQ(tag->m_Data.m_Addr, 0) << "editing with address 1 keeps register 0";
}

TEST_F(Methods, FailedAddsChangeNothing) {
  const size_t indexSize = IndexSize();
  const char* refused[] = {
      "Нет.Такого;4;X;3;1;2;0;1;1;1;0;0;0;0;0;0",  // unknown parent
      "A.D.G;4;T;3;1;2;0;1;1;1;0;0;0;0;0;0",       // a sibling has the name
      "A.D.G;4;X;7;1;2;0;1;1;1;0;0;0;0;0;0",       // unknown register kind
      "Каналы;1;Net;1;0;3;0;2;16777343;1502;3000",  // time-out 0
      "Каналы;1;Com;0;500;3;0;0;9;12345;8;1;0;0;0;0",  // baud rate not in the list
      "Каналы;1;Com;0;500;3;0;0;1;9600;8;1;0;0;0;0",   // COM1 is C1's
      "A;2;D9;\x01;1;1;d;\xDF\x90;",                    // unit 1 is D's
      "A.D;4;X;3;1;2;0;1;1;1;0;0;0;0;0;0",         // a tag under a device
      "A.D.G;4;X;3;1;2;0;1;1;1;0;0;0;0;0",         // fifteen fields
  };
  for (const char* message : refused) {
    EXPECT_EQ(Call("addNode", message), kFailed) << message;
    EXPECT_EQ(IndexSize(), indexSize) << message;
  }
  EXPECT_TRUE(m_Log.Contains("Failed get CItem, CreateCItem error"));
  EXPECT_EQ(TreeItem({"A", "D", "G"})->Children().size(), 1u);
  EXPECT_EQ(m_Root.Children().size(), 2u);
  EXPECT_FALSE(NodeExists("A.D.G.X"));
  EXPECT_FALSE(NodeExists("Net"));
}

TEST_F(Methods, EditFieldCountsAndSettings) {
  EXPECT_EQ(Call("editNode", "A.D.G;3;G;100"), kFailed);
  EXPECT_TRUE(m_Log.Contains("Failed add Group, EditCItem error"));
  EXPECT_EQ(Call("editNode", "A;1;A;1;500;3;0;2;16777343;502"), kFailed);
  EXPECT_TRUE(m_Log.Contains("Failed add Channel-TCP, EditCItem error"));
  EXPECT_EQ(Call("editNode", "A.D;2;D;\x01;1;1;d"), kFailed);
  EXPECT_TRUE(m_Log.Contains("Failed add Device, EditCItem error"));
  EXPECT_EQ(Call("editNode", "A.D.G.T;4;T;3;1;2;0;1;1;1;0;0;0;0;0"), kFailed);
  EXPECT_TRUE(m_Log.Contains("Failed add Tag, EditCItem error"));
  EXPECT_EQ(Call("editNode", "Нет;3;G;100;0"), kFailed);
  EXPECT_TRUE(m_Log.Contains("Failed get CItem, EditCItem error"));

  // Exchange off for the device: "_Exchange" follows at once.
  EXPECT_EQ(Call("editNode", "A.D;2;D;\x01;0;1;d;\xDF\x90;"), kSuccess);
  ReadResult exchange;
  test::Read(m_Client.get(), "A.D._Exchange", UA_ATTRIBUTEID_VALUE, exchange);
  EXPECT_FALSE(exchange.Scalar<UA_Boolean>());
  // A tag turned into a read-only Float: the node's type and access follow.
  EXPECT_EQ(Call("editNode", "A.D.G.T;4;T;3;5;0;0;1;0;1;0;0;0;0;0;0"), kSuccess);
  ReadResult type;
  test::Read(m_Client.get(), "A.D.G.T", UA_ATTRIBUTEID_DATATYPE, type);
  const UA_NodeId floatId = UA_TYPES[UA_TYPES_FLOAT].typeId;
  const UA_NodeId typeId = type.Scalar<UA_NodeId>();
  EXPECT_TRUE(UA_NodeId_equal(&typeId, &floatId));
  EXPECT_EQ(AccessLevel("A.D.G.T"), 1);
}

TEST_F(Methods, RenameRepublishesTheSubtreeUnderItsNewName) {
  EXPECT_EQ(Call("editNode", "A.D.G;3;Slow;5;1"), kSuccess);
  EXPECT_FALSE(NodeExists("A.D.G"));
  EXPECT_FALSE(NodeExists("A.D.G.T"));
  EXPECT_TRUE(NodeExists("A.D.Slow"));
  EXPECT_TRUE(NodeExists("A.D.Slow.T"));
  EXPECT_EQ(Indexed("A.D.G.T"), nullptr);
  EXPECT_EQ(Indexed("A.D.Slow.T"), TreeItem({"A", "D", "Slow", "T"}));
  EXPECT_EQ(TreeItem({"A", "D", "G"}), nullptr);
  // Later calls use the new name, as the configurator does.
  EXPECT_EQ(Call("editNode", TagMessage("A.D.Slow.T", "T2", 7)), kSuccess);
  EXPECT_TRUE(NodeExists("A.D.Slow.T2"));
  EXPECT_EQ(Call("addNode", TagMessage("A.D.Slow", "T")), kSuccess);
  // A device keeps its status variables through a rename.
  EXPECT_EQ(Call("editNode", "A.D;2;Dev;\x01;1;1;d;\xDF\x90;"), kSuccess);
  EXPECT_TRUE(NodeExists("A.Dev._Exchange"));
  EXPECT_FALSE(NodeExists("A.D._Exchange"));
  // A name a sibling has is refused, and nothing changes.
  EXPECT_EQ(Call("editNode", TagMessage("A.Dev.Slow.T2", "T")), kFailed);
  EXPECT_TRUE(NodeExists("A.Dev.Slow.T2"));
}

// An emulated device stores Doubles in tags of any type; the nodes published
// again under the new name must still pass the library's type check.
TEST_F(Methods, RenameOfAGroupWhoseTagHoldsAnEmulatedDouble) {
  CItem* tag = TreeItem({"A", "D", "G", "T"});
  m_Gateway->Paused([&] {
    UA_Variant value;
    const double emulated = 0.5;
    UA_Variant_setScalarCopy(&value, &emulated, &UA_TYPES[UA_TYPES_DOUBLE]);
    TagValue(*tag)->SetValueStatus(value, 0);
    UA_Variant_clear(&value);
    return 0;
  });
  EXPECT_EQ(Call("editNode", "A.D.G;3;Slow;5;1"), kSuccess);
  EXPECT_TRUE(NodeExists("A.D.Slow.T"));
  ReadResult read;
  test::Read(m_Client.get(), "A.D.Slow.T", UA_ATTRIBUTEID_DATATYPE, read);
  EXPECT_TRUE(read.Type() == &UA_TYPES[UA_TYPES_NODEID] &&
              UA_NodeId_equal(static_cast<const UA_NodeId*>(read.value.value.data), &UA_TYPES[UA_TYPES_UINT16].typeId));
}

TEST_F(Methods, DeleteRemovesNodesIndexAndItems) {
  const size_t indexSize = IndexSize();
  EXPECT_EQ(Call("deleteNode", "A.D"), kSuccess);
  for (const char* name : {"A.D", "A.D.G", "A.D.G.T", "A.D._Exchange", "A.D._ScanTime"}) {
    EXPECT_FALSE(NodeExists(name)) << name;
    EXPECT_EQ(Indexed(name), nullptr) << name;
  }
  EXPECT_EQ(IndexSize(), indexSize - 8);
  EXPECT_EQ(TreeItem({"A", "D"}), nullptr);
  EXPECT_TRUE(m_Log.Contains("deleteNode was called"));
  m_Log.Clear();
  EXPECT_EQ(Call("addNode", TagMessage("A.D.G", "T")), kFailed);
  EXPECT_TRUE(m_Log.Contains("Failed get CItem, CreateCItem error"));

  EXPECT_EQ(Call("deleteNode", "A.D"), kFailed);
  EXPECT_TRUE(m_Log.Contains("Failed to delete A.D"));
  EXPECT_EQ(Call("deleteNode", "Каналы"), kFailed);
  EXPECT_EQ(Call("deleteNode", "Каналы.addNode"), kFailed);
  EXPECT_TRUE(NodeExists("Каналы.addNode"));
}

TEST_F(Methods, DeletingAStatusVariableKeepsTheDevice) {
  EXPECT_EQ(Call("deleteNode", "A.D._ScanTime"), kSuccess);
  EXPECT_FALSE(NodeExists("A.D._ScanTime"));
  EXPECT_NE(TreeItem({"A", "D"}), nullptr);
  EXPECT_TRUE(NodeExists("A.D._Exchange"));
}

TEST_F(Methods, ChangesStopTheRunningExchangeAndStartItAgain) {
  EXPECT_EQ(Call("startExchange", "emul"), kSuccess);
  const int starts = m_Exchange.m_Starts, stops = m_Exchange.m_Stops;
  EXPECT_EQ(Call("addNode", TagMessage("A.D.G", "T5")), kSuccess);
  EXPECT_EQ(Call("deleteNode", "A.D.G.T5"), kSuccess);
  EXPECT_EQ(m_Exchange.m_Stops, stops + 2);
  EXPECT_EQ(m_Exchange.m_Starts, starts + 2);
  EXPECT_TRUE(m_Exchange.IsStarted());
  // A refused change leaves the exchange alone.
  EXPECT_EQ(Call("addNode", TagMessage("A.D.G", "T")), kFailed);
  EXPECT_EQ(m_Exchange.m_Stops, stops + 2);
}

}  // namespace
}  // namespace virk::server
