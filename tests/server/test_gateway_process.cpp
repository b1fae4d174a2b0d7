// The server program on an emulated configuration, as the README's sample
// runs it: a client sees live values under "Каналы", changes the tree through
// the methods, and the program still stops in order with clients connected.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "common/options.h"
#include "common/text.h"
#include "generator.h"
#include "loopback_listener.h"
#include "server_process.h"
#include "temp_folder.h"
#include "test_config.h"
#include "ua_calls.h"

namespace virk::server {
namespace {

using namespace std::chrono_literals;

TEST(GatewayProcess, LiveEmulatedValuesMethodsAndOrderlyStop) {
  test::TempFolder home;
  GeneratorOptions generator;
  generator.tags = 3;  // Tag_2: a scaled Int32 register (Double) emulated by a sine; Group_0 polls every 100 ms
  StartOptions options;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  options.port = std::to_string(port);
  std::string error;
  ASSERT_TRUE(WriteConfigText(home / "sample.cfg",
                              WithStartOptions(Utf8ToUtf16(GenerateConfiguration(generator)), options), true, error))
      << error;
  test::ServerProcess server(VIRK_SERVER_PROGRAM, {home / "sample.cfg"}, home.Path(), home / "output.txt");
  ASSERT_TRUE(test::WaitUntilServing(port, 10s)) << server.Output();

  test::OpcUaClient client;
  ASSERT_TRUE(test::Connect(client, test::LoopbackUrl(port)));
  const std::string sine = "Channel_0.Device_0.Group_0.Tag_2";
  double first = 0;
  bool changed = false;
  for (int i = 0; i < 50 && !changed; ++i) {
    std::this_thread::sleep_for(100ms);
    test::ReadResult read;
    test::Read(client.get(), sine, UA_ATTRIBUTEID_VALUE, read);
    ASSERT_EQ(read.service, UA_STATUSCODE_GOOD);
    ASSERT_EQ(read.Type(), &UA_TYPES[UA_TYPES_DOUBLE]);
    const double value = read.Scalar<UA_Double>();
    if (i == 0) first = value;
    changed = read.value.status == UA_STATUSCODE_GOOD && value != first;
  }
  EXPECT_TRUE(changed) << "the session started the exchange and the emulator runs";

  EXPECT_EQ(test::CallMethod(client.get(), "addNode", "Channel_0.Device_0.Group_0;4;Added;3;40;2;1;1;1;1;0;0;0;0;1;1"),
            (std::pair<UA_StatusCode, std::string>{UA_STATUSCODE_GOOD, "Success"}));
  test::ReadResult added;
  test::Read(client.get(), "Channel_0.Device_0.Group_0.Added", UA_ATTRIBUTEID_DATATYPE, added);
  const UA_NodeId uint16 = UA_TYPES[UA_TYPES_UINT16].typeId;
  const UA_NodeId addedType = added.Scalar<UA_NodeId>();
  EXPECT_TRUE(UA_NodeId_equal(&addedType, &uint16));
  test::ReadResult exchange;
  test::Read(client.get(), "Channel_0.Device_0._Emulation", UA_ATTRIBUTEID_VALUE, exchange);
  EXPECT_TRUE(exchange.Scalar<UA_Boolean>());

  EXPECT_EQ(server.StopWith(SIGINT, 10s), 0) << server.Output();
  EXPECT_NE(server.Output().find("Client connected. Session ID: "), std::string::npos);
  EXPECT_NE(server.Output().find("addNode was called"), std::string::npos);
}

}  // namespace
}  // namespace virk::server
