// End to end with peers no one here wrote: the node-opcua client against the
// server program, which polls a pymodbus slave; mbpoll looks at the slave.
#include <gtest/gtest.h>

#include <chrono>

#include "common/options.h"
#include "common/text.h"
#include "loopback_listener.h"
#include "node_opcua.h"
#include "opcua_client.h"
#include "pymodbus_slave.h"
#include "server_process.h"
#include "temp_folder.h"
#include "test_config.h"

namespace virk::server {
namespace {

using namespace std::chrono_literals;

std::string Records(uint16_t slavePort) {
  std::string text =
      "CHANNEL;1;2;3;4;5;6;7;8;9;10;11;12;13;14\n"
      ";M;TCP-соединение;MODBUS TCP;1000;3;0;127.0.0.1;" + std::to_string(slavePort) + ";5000\n"
      "DEVICE;1;2;3;4;5;6;7\n"
      ";D;1;Нет;125;2000;0;Да\n"
      "GROUP;1;2;3\n"
      ";G;100;мс\n"
      "TAG;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17\n";
  // Holding registers 10, 11 and 12 as UInt16, the high byte first.
  for (int reference : {11, 12, 13})
    text += ";HR" + std::to_string(reference - 1) + ";Выходной регистр;" + std::to_string(reference) +
            ";0;0;Да;Да;Одиночная;Цел16;BA;Нет;;;;;Константа;0\n";
  return text;
}

TEST(NodeOpcua, BrowseReadWriteSubscribeAndMethodsAgainstAPymodbusSlave) {
  if (!test::NodeOpcuaInstalled()) GTEST_SKIP() << "node-opcua-client is not installed: build node_opcua_client";
  if (std::system("command -v mbpoll > /dev/null") != 0) GTEST_SKIP() << "mbpoll is not installed";

  virk::test::PymodbusSlave slave;
  ASSERT_TRUE(slave.StartTcp());
  test::TempFolder home;
  StartOptions options;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  options.port = std::to_string(port);
  std::string error;
  ASSERT_TRUE(WriteConfigText(home / "e2e.cfg", WithStartOptions(Utf8ToUtf16(Records(slave.Port())), options), true,
                              error))
      << error;
  test::ServerProcess server(VIRK_SERVER_PROGRAM, {home / "e2e.cfg"}, home.Path(), home / "output.txt");
  ASSERT_TRUE(test::WaitUntilServing(port, 10s)) << server.Output();

  std::string output;
  const int status = test::RunNodeScript("node_opcua_check.js",
                                         test::LoopbackUrl(port) + " " + std::to_string(slave.Port()),
                                         home / "node.txt", output);
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("ALL OK"), std::string::npos) << output;
  EXPECT_EQ(server.StopWith(SIGINT, 10s), 0) << server.Output();
}

}  // namespace
}  // namespace virk::server
