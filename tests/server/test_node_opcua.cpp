// End to end with peers no one here wrote: the node-opcua client against the
// server program, which polls a pymodbus slave; mbpoll looks at the slave.
// The same against a pymodbus RTU slave on a serial line. With
// VIRK_WINE_SERVER set the program is server.exe under Wine (server_launch.h).
#include <gtest/gtest.h>

#include <chrono>
#include <utility>

#include "common/options.h"
#include "common/text.h"
#include "loopback_listener.h"
#include "node_opcua.h"
#include "opcua_client.h"
#include "pymodbus_slave.h"
#include "server_launch.h"
#include "server_process.h"
#include "socat_pair.h"
#include "temp_folder.h"
#include "test_config.h"
#include "ua_calls.h"

namespace virk::server {
namespace {

using namespace std::chrono_literals;

constexpr char kDeviceAndGroup[] =
    "DEVICE;1;2;3;4;5;6;7\n"
    ";D;1;Нет;125;2000;0;Да\n"
    "GROUP;1;2;3\n"
    ";G;100;мс\n"
    "TAG;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17\n";

// Holding registers 10, 11 and 12 as UInt16, the high byte first.
std::string HoldingTags() {
  std::string text;
  for (int reference : {11, 12, 13})
    text += ";HR" + std::to_string(reference - 1) + ";Выходной регистр;" + std::to_string(reference) +
            ";0;0;Да;Да;Одиночная;Цел16;BA;Нет;;;;;Константа;0\n";
  return text;
}

std::string TcpRecords(uint16_t slavePort) {
  return "CHANNEL;1;2;3;4;5;6;7;8;9;10;11;12;13;14\n"
         ";M;TCP-соединение;MODBUS TCP;1000;3;0;127.0.0.1;" + std::to_string(slavePort) + ";5000\n" +
         kDeviceAndGroup + HoldingTags();
}

std::string RtuRecords(unsigned comPort) {
  return "CHANNEL;1;2;3;4;5;6;7;8;9;10;11;12;13;14\n"
         ";M;COM-порт;MODBUS RTU;1000;3;0;" + std::to_string(comPort) + ";9600;8;1;Нет;Нет;Нет;Нет\n" +
         kDeviceAndGroup + HoldingTags();
}

// The configuration `records` with the server on `port`, in `home`.
std::string WriteConfig(const test::TempFolder& home, const std::string& records, uint16_t port) {
  StartOptions options;
  options.port = std::to_string(port);
  std::string error;
  const std::string path = home / "e2e.cfg";
  EXPECT_TRUE(WriteConfigText(path, WithStartOptions(Utf8ToUtf16(records), options), true, error)) << error;
  return path;
}

// Ctrl-C (Wine turns SIGINT into the console's Ctrl-C event) stops the server in order.
void ExpectStopsInOrderOnCtrlC(test::ServerProcess& server) {
  EXPECT_EQ(server.StopWith(SIGINT, 15s), 0) << server.Output();
  EXPECT_NE(server.Output().find("received ctrl-c"), std::string::npos) << server.Output();
}

TEST(NodeOpcua, BrowseReadWriteSubscribeAndMethodsAgainstAPymodbusSlave) {
  if (!test::NodeOpcuaInstalled()) GTEST_SKIP() << "node-opcua-client is not installed: build node_opcua_client";
  if (std::system("command -v mbpoll > /dev/null") != 0) GTEST_SKIP() << "mbpoll is not installed";

  virk::test::PymodbusSlave slave;
  ASSERT_TRUE(slave.StartTcp());
  test::TempFolder home;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  const std::string config = WriteConfig(home, TcpRecords(slave.Port()), port);
  test::ServerLaunch launch;
  test::ServerProcess server(launch.Program(), launch.Arguments(config), home.Path(), home / "output.txt",
                             launch.Environment());
  ASSERT_TRUE(test::WaitUntilServing(port, 30s)) << server.Output();

  std::string output;
  const int status = test::RunNodeScript("node_opcua_check.js",
                                         test::LoopbackUrl(port) + " " + std::to_string(slave.Port()),
                                         home / "node.txt", output);
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("ALL OK"), std::string::npos) << output;
  ExpectStopsInOrderOnCtrlC(server);
}

TEST(NodeOpcua, ReadsAndWritesThroughAnRtuSlaveOnASerialLine) {
  virk::test::SocatPair pair;
  ASSERT_TRUE(pair.Start());
  virk::test::PymodbusSlave slave;
  slave.SetOptions({"--log-writes"});
  ASSERT_TRUE(slave.StartSerial(pair.EndB(), "rtu", 9600));
  test::ServerLaunch launch;
  const unsigned comPort = launch.MapComPortTo(pair);
  ASSERT_NE(comPort, 0u) << "no COM port for the serial line";

  test::TempFolder home;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  const std::string config = WriteConfig(home, RtuRecords(comPort), port);
  test::ServerProcess server(launch.Program(), launch.Arguments(config), home.Path(), home / "output.txt",
                             launch.Environment());
  ASSERT_TRUE(test::WaitUntilServing(port, 30s)) << server.Output();
  test::OpcUaClient client;
  ASSERT_TRUE(test::Connect(client, test::LoopbackUrl(port)));

  // Each register reads as its own number once the first poll is in.
  for (const auto& [name, expected] : {std::pair{"M.D.G.HR10", 10}, {"M.D.G.HR12", 12}}) {
    test::ReadResult result;
    test::ReadUntilGood(client.get(), name, result);
    ASSERT_EQ(result.service, UA_STATUSCODE_GOOD) << name;
    EXPECT_EQ(result.value.status, UA_STATUSCODE_GOOD) << name << "\n" << server.Output();
    EXPECT_EQ(result.Scalar<UA_UInt16>(), expected) << name;
  }

  EXPECT_EQ(test::WriteScalar<UA_UInt16>(client.get(), "M.D.G.HR11", 777, &UA_TYPES[UA_TYPES_UINT16]),
            UA_STATUSCODE_GOOD);
  std::string line;
  bool written = false;
  for (int i = 0; i < 20 && !written && slave.Process().ReadLine(line, 10000); ++i) written = line == "WRITE hr 11 777";
  EXPECT_TRUE(written) << "the slave saw no write of 777 into register 11; last line: " << line;
  ExpectStopsInOrderOnCtrlC(server);
}

}  // namespace
}  // namespace virk::server
