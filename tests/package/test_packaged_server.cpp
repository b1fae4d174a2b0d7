// The server as the package installs it: its sample configuration served to
// an OPC UA client, and the orderly stop on SIGTERM, as systemd stops it.
// VIRK_PACKAGE_ROOT names the folder the .deb was unpacked into.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>

#include "common/options.h"
#include "common/text.h"
#include "loopback_listener.h"
#include "sample_setpoint.h"
#include "server_process.h"
#include "temp_folder.h"

namespace virk::server {
namespace {

using namespace std::chrono_literals;

TEST(PackagedServer, ServesThePackagedSampleAndStopsInOrderOnSigterm) {
  const char* root = std::getenv("VIRK_PACKAGE_ROOT");
  ASSERT_NE(root, nullptr) << "set VIRK_PACKAGE_ROOT to the unpacked package";
  const std::string program = std::string(root) + "/usr/lib/virk-gateway/server/server";
  const std::string sample = std::string(root) + "/usr/share/virk-gateway/examples/sample.cfg";

  // The packaged sample as it is, on a port of the test's own.
  test::TempFolder home;
  std::u16string text;
  std::string error;
  ASSERT_TRUE(ReadConfigText(sample, true, text, error)) << error;
  StartOptions options;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  options.port = std::to_string(port);
  ASSERT_TRUE(WriteConfigText(home / "plant.cfg", WithStartOptions(text, options), true, error)) << error;

  test::ServerProcess server(program, {home / "plant.cfg"}, home.Path(), home / "output.txt");
  ASSERT_TRUE(server.Started()) << program;
  ASSERT_TRUE(test::WaitUntilServing(port, 15s)) << server.Output();

  test::OpcUaClient client;
  ASSERT_TRUE(test::Connect(client, test::LoopbackUrl(port)));
  const test::SetpointReading reading = test::ReadSampleSetpoint(client.get());
  ASSERT_EQ(reading.service, UA_STATUSCODE_GOOD) << UA_StatusCode_name(reading.service);
  EXPECT_EQ(reading.status, UA_STATUSCODE_GOOD) << UA_StatusCode_name(reading.status);
  EXPECT_EQ(reading.value, test::kSampleSetpointValue);

  EXPECT_EQ(server.StopWith(SIGTERM, 15s), 0) << server.Output();
  EXPECT_NE(server.Output().find("received ctrl-c"), std::string::npos) << server.Output();
  EXPECT_TRUE(std::ifstream(home / "Documents/VIRK/OPC UA/Log/OPCUAserver.log").good())
      << "the log goes under HOME, as the service's state folder";
}

}  // namespace
}  // namespace virk::server
