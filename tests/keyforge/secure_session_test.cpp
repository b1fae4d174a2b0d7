// The server with a key and certificate made by keyforge accepts an
// encrypted session from a client whose keyforge certificate it trusts, and
// refuses one whose certificate is not in its trusted folder.
#include <open62541/client.h>
#include <open62541/client_config_default.h>
#include <open62541/client_highlevel.h>
#include <open62541/plugin/log.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "keyforge_fixture.h"
#include "opcua_client.h"
#include "server_process.h"
#include "test_config.h"

namespace virk::keyforge::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char kBasic256Sha256[] = "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256";

UA_ByteString ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  UA_ByteString result = UA_BYTESTRING_NULL;
  EXPECT_EQ(UA_ByteString_allocBuffer(&result, bytes.size()), UA_STATUSCODE_GOOD);
  std::memcpy(result.data, bytes.data(), bytes.size());
  return result;
}

// Connects with Basic256Sha256 and SignAndEncrypt, presenting the
// certificate and key found in `folder` under `applicationUri`, and trusting
// the server's certificate. Returns the status of the connection, then of a
// read over the session.
UA_StatusCode ConnectEncrypted(const std::string& url, const std::string& folder,
                               const std::string& applicationUri,
                               const std::string& serverCertificate) {
  static UA_Logger quiet{[](void*, UA_LogLevel, UA_LogCategory, const char*, va_list) {}, nullptr,
                         nullptr};
  UA_ClientConfig config;
  std::memset(&config, 0, sizeof config);
  config.logging = &quiet;
  // Never ask the console for a key password.
  config.privateKeyPasswordCallback = [](UA_ClientConfig*, UA_ByteString*) -> UA_StatusCode {
    return UA_STATUSCODE_BADSECURITYCHECKSFAILED;
  };
  UA_ByteString certificate = ReadBytes(folder + "/server_cert.der");
  UA_ByteString key = ReadBytes(folder + "/server_key.pem");
  UA_ByteString trusted = ReadBytes(serverCertificate);
  const UA_StatusCode setUp =
      UA_ClientConfig_setDefaultEncryption(&config, certificate, key, &trusted, 1, nullptr, 0);
  UA_ByteString_clear(&certificate);
  UA_ByteString_clear(&key);
  UA_ByteString_clear(&trusted);
  if (setUp != UA_STATUSCODE_GOOD) {
    UA_ClientConfig_clear(&config);
    return setUp;
  }
  config.securityMode = UA_MESSAGESECURITYMODE_SIGNANDENCRYPT;
  config.securityPolicyUri = UA_STRING_ALLOC(kBasic256Sha256);
  UA_String_clear(&config.clientDescription.applicationUri);
  config.clientDescription.applicationUri = UA_STRING_ALLOC(applicationUri.c_str());
  config.timeout = 5000;

  std::unique_ptr<UA_Client, decltype(&UA_Client_delete)> client(UA_Client_newWithConfig(&config),
                                                                  UA_Client_delete);
  UA_StatusCode status = UA_Client_connect(client.get(), url.c_str());
  if (status == UA_STATUSCODE_GOOD) {
    UA_Variant value;
    UA_Variant_init(&value);
    status = UA_Client_readValueAttribute(
        client.get(), UA_NODEID_NUMERIC(0, UA_NS0ID_SERVER_SERVERSTATUS_STATE), &value);
    UA_Variant_clear(&value);
    UA_Client_disconnect(client.get());
  }
  return status;
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
  const uint16_t port = server::test::FreeLoopbackPort();
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
  // The stranger differs only by its certificate, which is not in the folder.
  EXPECT_EQ(ConnectEncrypted(url, strangerFolder, "urn:virk:test:stranger", options.derFile),
            UA_STATUSCODE_BADSECURITYCHECKSFAILED);
  EXPECT_EQ(server.StopWith(SIGINT, 10s), 0) << server.Output();
}

}  // namespace
}  // namespace virk::keyforge::test
