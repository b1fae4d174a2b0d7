// What the server program refuses, against real clients on 127.0.0.1: a wrong
// password or unknown user, an anonymous session when "allowanonimus" is
// false, and every password that would travel over the endpoint without
// encryption (None), whether or not encrypted endpoints are offered.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>

#include "loopback_listener.h"
#include "opcua_client.h"
#include "server_process.h"
#include "temp_folder.h"
#include "test_certificates.h"
#include "test_config.h"

namespace virk::server {
namespace {

using namespace std::chrono_literals;
using test::CertificateClient;
using test::LoopbackUrl;
using test::OpcUaClient;
using test::ServerProcess;
using test::TempFolder;

const std::string kNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
const std::string kBasic256Sha256 = "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256";
const char kClientUri[] = "urn:virk:test:client";

class ServerSecurity : public ::testing::Test {
 protected:
  // Anonymous access off and one user; with `secured`, the server's own
  // certificate and a trusted folder holding the client's.
  std::unique_ptr<ServerProcess> Start(bool secured) {
    StartOptions options;
    m_Port = virk::test::ClosedLoopbackPort();
    options.port = std::to_string(m_Port);
    options.allowanonimus = "false";
    if (secured) {
      options.derFile = m_ServerCertificate;
      options.pemFile = m_Home / "server.pem";
      options.trustFolder = m_Home / "trusted";
      EXPECT_TRUE(test::MakeCertificate(options.derFile, options.pemFile, "urn:virkopcua.server.application"));
      EXPECT_TRUE(test::MakeCertificate(m_ClientCertificate, m_ClientKey, kClientUri));
      std::filesystem::create_directory(options.trustFolder);
      std::filesystem::copy_file(m_ClientCertificate, m_Home / "trusted/client.der");
    }
    std::string error;
    EXPECT_TRUE(test::WriteTestConfig(m_Home / "test.cfg", options, {{"operator", "secret"}}, error)) << error;
    auto server = std::make_unique<ServerProcess>(VIRK_SERVER_PROGRAM, std::vector<std::string>{m_Home / "test.cfg"},
                                                  m_Home.Path(), m_Home / "output.txt");
    EXPECT_TRUE(server->Started());
    return server;
  }

  // Connects over `policy` and `mode` with the trusted client certificate,
  // as `user` (anonymous when empty), and reads over the new session.
  UA_StatusCode ConnectTrusted(const std::string& policy, UA_MessageSecurityMode mode, const std::string& user,
                               const std::string& password) {
    CertificateClient client(m_ClientCertificate, m_ClientKey, kClientUri, m_ServerCertificate);
    EXPECT_EQ(client.SetUp(), UA_STATUSCODE_GOOD);
    if (client.SetUp() != UA_STATUSCODE_GOOD) return client.SetUp();
    client.Choose(policy, mode);
    return client.ConnectAndRead(LoopbackUrl(m_Port), user, password);
  }

  // Sends the password in the clear on the None endpoint, as a client would
  // that skips discovery and names the token policy itself: the policy id is
  // the one the library gives a plain password token on that endpoint.
  UA_StatusCode ConnectWithPlainPassword(const std::string& user, const std::string& password) {
    OpcUaClient client;
    UA_EndpointDescription& endpoint = UA_Client_getConfig(client.get())->endpoint;
    endpoint.endpointUrl = UA_STRING_ALLOC(LoopbackUrl(m_Port).c_str());
    endpoint.securityMode = UA_MESSAGESECURITYMODE_NONE;
    endpoint.securityPolicyUri = UA_STRING_ALLOC(kNone.c_str());
    endpoint.userIdentityTokens = UA_UserTokenPolicy_new();
    endpoint.userIdentityTokensSize = 1;
    endpoint.userIdentityTokens[0].tokenType = UA_USERTOKENTYPE_USERNAME;
    endpoint.userIdentityTokens[0].policyId = UA_STRING_ALLOC("open62541-username-policy-none#None");
    endpoint.userIdentityTokens[0].securityPolicyUri = UA_STRING_ALLOC(kNone.c_str());
    const std::string url = LoopbackUrl(m_Port);
    return UA_Client_connectUsername(client.get(), url.c_str(), user.c_str(), password.c_str());
  }

  TempFolder m_Home;
  uint16_t m_Port = 0;
  const std::string m_ServerCertificate = m_Home / "server.der";
  const std::string m_ClientCertificate = m_Home / "client.der";
  const std::string m_ClientKey = m_Home / "client.pem";
};

TEST_F(ServerSecurity, OverEncryptionOnlyTheRightPasswordOpensASession) {
  auto server = Start(true);
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 20s)) << server->Output();
  const auto encrypted = UA_MESSAGESECURITYMODE_SIGNANDENCRYPT;

  EXPECT_EQ(ConnectTrusted(kBasic256Sha256, encrypted, "operator", "secret"), UA_STATUSCODE_GOOD) << server->Output();
  EXPECT_EQ(ConnectTrusted(kBasic256Sha256, encrypted, "operator", "wrong"), UA_STATUSCODE_BADUSERACCESSDENIED);
  EXPECT_EQ(ConnectTrusted(kBasic256Sha256, encrypted, "operator", ""), UA_STATUSCODE_BADUSERACCESSDENIED);
  EXPECT_EQ(ConnectTrusted(kBasic256Sha256, encrypted, "Operator", "secret"), UA_STATUSCODE_BADUSERACCESSDENIED)
      << "user names are case-sensitive";
  EXPECT_EQ(ConnectTrusted(kBasic256Sha256, encrypted, "nobody", "secret"), UA_STATUSCODE_BADUSERACCESSDENIED);
  // Encryption does not let an anonymous client in either.
  EXPECT_NE(ConnectTrusted(kBasic256Sha256, encrypted, "", ""), UA_STATUSCODE_GOOD);

  EXPECT_EQ(server->StopWith(SIGINT, 20s), 0) << server->Output();
}

TEST_F(ServerSecurity, EncryptedEndpointsDoNotOpenTheNoneEndpointToPasswords) {
  auto server = Start(true);
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 20s)) << server->Output();

  // The client encrypts the right password with the server's certificate,
  // but the session would still travel in the clear.
  EXPECT_EQ(ConnectTrusted(kNone, UA_MESSAGESECURITYMODE_NONE, "operator", "secret"),
            UA_STATUSCODE_BADSECURITYMODEINSUFFICIENT);
  EXPECT_TRUE(server->WaitForOutput(
      "Login of user \"operator\" over the endpoint without encryption (None) refused", 10s))
      << server->Output();
  EXPECT_EQ(ConnectWithPlainPassword("operator", "secret"), UA_STATUSCODE_BADIDENTITYTOKENINVALID);
  // The same user gets in over encryption, so the refusals above were the channel's.
  EXPECT_EQ(ConnectTrusted(kBasic256Sha256, UA_MESSAGESECURITYMODE_SIGNANDENCRYPT, "operator", "secret"),
            UA_STATUSCODE_GOOD);

  EXPECT_EQ(server->StopWith(SIGINT, 20s), 0) << server->Output();
}

TEST_F(ServerSecurity, WithoutCertificatesNoPasswordIsTakenAtAll) {
  auto server = Start(false);
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 20s)) << server->Output();

  OpcUaClient discovery;
  std::vector<OpcUaClient::Endpoint> endpoints;
  ASSERT_EQ(discovery.GetEndpoints(LoopbackUrl(m_Port), endpoints), UA_STATUSCODE_GOOD);
  ASSERT_FALSE(endpoints.empty());
  for (const auto& endpoint : endpoints) {
    EXPECT_EQ(endpoint.policy, kNone);
    for (UA_UserTokenType token : endpoint.tokens) EXPECT_NE(token, UA_USERTOKENTYPE_USERNAME);
  }
  EXPECT_EQ(ConnectWithPlainPassword("operator", "secret"), UA_STATUSCODE_BADIDENTITYTOKENINVALID);
  EXPECT_EQ(ConnectWithPlainPassword("operator", "wrong"), UA_STATUSCODE_BADIDENTITYTOKENINVALID);

  EXPECT_EQ(server->StopWith(SIGINT, 20s), 0) << server->Output();
}

}  // namespace
}  // namespace virk::server
