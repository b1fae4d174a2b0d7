// Tree edits while every channel polls and clients read and write: the
// methods add, rename and delete items with the polling threads stopped
// around each change. Meant to run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "gateway_fixture.h"
#include "pymodbus_slave.h"
#include "test_tree.h"
#include "ua_calls.h"

namespace virk::server {
namespace {

using namespace std::chrono_literals;
using test::CallMethod;

const std::pair<UA_StatusCode, std::string> kSuccess{UA_STATUSCODE_GOOD, "Success"};

std::string TagMessage(const std::string& group, const std::string& name, int address) {
  return group + ";4;" + name + ";3;" + std::to_string(address) + ";2;0;1;1;1;0;0;0;0;0;0";
}

TEST(TreeEditStress, EditsWhileChannelsPollAndClientsReadAndWrite) {
  virk::test::PymodbusSlave slave;
  ASSERT_TRUE(slave.StartTcp());
  CGlobal global;
  auto root = std::make_unique<CTreeItemRoot>();
  // A real device on a pymodbus slave and two channels of emulated devices.
  CGroup& real = test::AddGroup(test::AddDevice(test::AddTcpChannel(*root, "M", slave.Port()), "D", false), "G", 20);
  for (int i = 0; i < 8; ++i) test::AddTag(real, "T" + std::to_string(i), kRegHolding, uint16_t(i));
  for (const char* name : {"E1", "E2"}) {
    CDevice& device = test::AddDevice(test::AddTcpChannel(*root, name, 502), "D", true);
    for (const char* name : {"G", "H"}) {
      CGroup& group = test::AddGroup(device, name, 10);
      for (int i = 0; i < 4; ++i) test::AddTag(group, "T" + std::to_string(i), kRegHolding, 0);
    }
  }
  global.SetRoot(std::move(root));
  GlobalExchange exchange(global);
  test::InProcessGateway gateway(*global.Root(), exchange);
  ASSERT_TRUE(gateway.Ready());
  global.StartExchange();

  // A second client reads and writes the whole time.
  std::atomic<bool> editing{true};
  std::atomic<int> reads{0}, goodWrites{0}, badReads{0};
  std::thread user([&] {
    test::OpcUaClient client;
    if (!test::Connect(client, gateway.Url())) return;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    for (uint16_t n = 0; editing && std::chrono::steady_clock::now() < deadline; ++n) {
      for (const char* name : {"M.D.G.T1", "E1.D.G.T0", "E2.D.H.T3", "M.D._Connection"}) {
        test::ReadResult read;
        test::Read(client.get(), name, UA_ATTRIBUTEID_VALUE, read);
        ++reads;
        if (read.service != UA_STATUSCODE_GOOD) ++badReads;
      }
      if (test::WriteScalar<UA_UInt16>(client.get(), "M.D.G.T2", n, &UA_TYPES[UA_TYPES_UINT16]) == UA_STATUSCODE_GOOD)
        ++goodWrites;
      test::WriteScalar<UA_UInt16>(client.get(), "E1.D.H.T1", n, &UA_TYPES[UA_TYPES_UINT16]);
    }
    UA_Client_disconnect(client.get());
  });

  test::OpcUaClient editor;
  ASSERT_TRUE(test::Connect(editor, gateway.Url()));
  constexpr int kRounds = 15;
  for (int round = 0; round < kRounds; ++round) {
    const std::string tag = "X" + std::to_string(round);
    EXPECT_EQ(CallMethod(editor.get(), "addNode", TagMessage("M.D.G", tag, 20 + round)), kSuccess);
    EXPECT_EQ(CallMethod(editor.get(), "addNode", "E1.D;3;N" + std::to_string(round) + ";10;0"), kSuccess);
    EXPECT_EQ(CallMethod(editor.get(), "addNode", TagMessage("E1.D.N" + std::to_string(round), "T", 1)), kSuccess);
    EXPECT_EQ(CallMethod(editor.get(), "editNode", TagMessage("M.D.G." + tag, tag + "r", 30)), kSuccess);
    EXPECT_EQ(CallMethod(editor.get(), "editNode", "E2.D.G;3;G;" + std::to_string(10 + round) + ";0"), kSuccess);
    EXPECT_EQ(CallMethod(editor.get(), "deleteNode", "M.D.G." + tag + "r"), kSuccess);
    EXPECT_EQ(CallMethod(editor.get(), "deleteNode", "E1.D.N" + std::to_string(round)), kSuccess);
  }
  editing = false;
  user.join();
  UA_Client_disconnect(editor.get());

  EXPECT_TRUE(global.IsStarted()) << "every change started the exchange again";
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(badReads.load(), 0);
  EXPECT_GT(goodWrites.load(), 0) << "writes reached the slave between the changes";
  global.StopExchange();
  const size_t tags = gateway.Paused([&] { return global.Root()->FindChild("M")->FindChild("D")->FindChild("G")->Children().size(); });
  EXPECT_EQ(tags, 8u);
}

}  // namespace
}  // namespace virk::server
