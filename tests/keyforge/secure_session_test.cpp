// The server with a key and certificate made by keyforge accepts an
// encrypted session from a client whose keyforge certificate it trusts, and
// refuses one whose certificate is not in its trusted folder.
#include <chrono>
#include <csignal>
#include <filesystem>

#include "keyforge_fixture.h"
#include "loopback_listener.h"
#include "opcua_client.h"
#include "server_process.h"
#include "test_certificates.h"
#include "test_config.h"

namespace virk::keyforge::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char kBasic256Sha256[] = "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256";

// Connects with Basic256Sha256 and SignAndEncrypt, presenting the
// certificate and key found in `folder` under `applicationUri`, and trusting
// the server's certificate. Returns the status of the connection, then of a
// read over the session.
UA_StatusCode ConnectEncrypted(const std::string& url, const std::string& folder,
                               const std::string& applicationUri,
                               const std::string& serverCertificate) {
  server::test::CertificateClient client(folder + "/server_cert.der", folder + "/server_key.pem",
                                         applicationUri, serverCertificate);
  if (client.SetUp() != UA_STATUSCODE_GOOD) return client.SetUp();
  client.Choose(kBasic256Sha256, UA_MESSAGESECURITYMODE_SIGNANDENCRYPT);
  return client.ConnectAndRead(url);
}

using KeyforgeSecureSession = KeyforgeTest;

TEST_F(KeyforgeSecureSession, ServerAcceptsTrustedKeyforgeClientAndRefusesAnUntrustedOne) {
  const std::string serverFolder = Home() + "/server";
  const std::string clientFolder = Home() + "/client";
  const std::string strangerFolder = Home() + "/stranger";
  const std::string trustFolder = Home() + "/trusted";
  for (const std::string& folder : {serverFolder, clientFolder, strangerFolder, trustFolder})
    fs::create_directories(folder);
  const auto make = [&](const std::string& name, const std::string& folder,
                        std::vector<std::string> extra) {
    std::vector<std::string> arguments{"-CN=" + name, "-O=Virk", "-size=2048", "-alg=Sha256",
                                       "-val=30", "-der=" + folder, "-pem=" + folder};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const ChildResult result = Run(arguments);
    ASSERT_EQ(result.exitCode, 0) << result.err;
  };
  make("server", serverFolder, {"-DNS=localhost", "-IP=127.0.0.1"});
  make("client", clientFolder, {"-DNS=localhost", "-URI=urn:virk:test:client"});
  make("stranger", strangerFolder, {"-DNS=localhost", "-URI=urn:virk:test:stranger"});
  fs::copy_file(clientFolder + "/server_cert.der", trustFolder + "/client.der");

  StartOptions options;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  ASSERT_NE(port, 0);
  options.port = std::to_string(port);
  options.derFile = serverFolder + "/server_cert.der";
  options.pemFile = serverFolder + "/server_key.pem";
  options.trustFolder = trustFolder;
  std::string error;
  ASSERT_TRUE(server::test::WriteTestConfig(Home() + "/test.cfg", options, {}, error)) << error;
  server::test::ServerProcess server(VIRK_SERVER_PROGRAM, {Home() + "/test.cfg"}, Home(),
                                     Home() + "/server-output.txt");
  ASSERT_TRUE(server.Started());
  ASSERT_TRUE(server::test::WaitUntilServing(port, 15s)) << server.Output();

  const std::string url = server::test::LoopbackUrl(port);
  EXPECT_EQ(ConnectEncrypted(url, clientFolder, "urn:virk:test:client", options.derFile),
            UA_STATUSCODE_GOOD)
      << server.Output();
  // The stranger differs only by its certificate, which is not in the folder:
  // the server refuses it as untrusted and closes the connection, which this
  // client reports as a failed security check.
  EXPECT_EQ(ConnectEncrypted(url, strangerFolder, "urn:virk:test:stranger", options.derFile),
            UA_STATUSCODE_BADSECURITYCHECKSFAILED);
  EXPECT_TRUE(server.WaitForOutput("BadCertificateUntrusted", 10s)) << server.Output();
  EXPECT_EQ(server.StopWith(SIGINT, 10s), 0) << server.Output();
}

}  // namespace
}  // namespace virk::keyforge::test
