// The server process against a real OPC UA client on 127.0.0.1: namespace,
// application description, port rule, anonymous access, security policies
// from certificates made by the openssl command line, and orderly stops.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "loopback_listener.h"
#include "opcua_client.h"
#include "server_process.h"
#include "temp_folder.h"
#include "test_certificates.h"
#include "test_config.h"
#include "tests/common/scoped_umask.h"

namespace virk::server {
namespace {

using namespace std::chrono_literals;
using test::LoopbackUrl;
using test::OpcUaClient;
using test::ServerProcess;
using test::TempFolder;

const std::string kNone = "http://opcfoundation.org/UA/SecurityPolicy#None";

class ServerOverOpcUa : public ::testing::Test {
 protected:
  // Writes the configuration and starts the server; the port comes from the options.
  std::unique_ptr<ServerProcess> Start(const StartOptions& options, const std::vector<Login>& logins = {},
                                       const std::string& outputName = "output.txt",
                                       const std::string& handOptions = {}) {
    std::string error;
    EXPECT_TRUE(test::WriteTestConfig(m_Home / "test.cfg", options, logins, error, handOptions)) << error;
    auto server = std::make_unique<ServerProcess>(VIRK_SERVER_PROGRAM, std::vector<std::string>{m_Home / "test.cfg"},
                                                  m_Home.Path(), m_Home / outputName);
    EXPECT_TRUE(server->Started());
    return server;
  }
  StartOptions OptionsOnFreePort() {
    StartOptions options;
    m_Port = virk::test::ClosedLoopbackPort();
    options.port = std::to_string(m_Port);
    return options;
  }
  std::vector<OpcUaClient::Endpoint> Endpoints(uint16_t port) {
    OpcUaClient client;
    std::vector<OpcUaClient::Endpoint> endpoints;
    EXPECT_EQ(client.GetEndpoints(LoopbackUrl(port), endpoints), UA_STATUSCODE_GOOD);
    return endpoints;
  }
  // With the server's certificate and key, and a trust folder holding one
  // certificate or none.
  std::unique_ptr<ServerProcess> StartWithCertificate(bool trustOne) {
    StartOptions options = OptionsOnFreePort();
    options.derFile = m_Home / "server.der";
    options.pemFile = m_Home / "server.pem";
    options.trustFolder = m_Home / "trusted";
    EXPECT_TRUE(test::MakeCertificate(options.derFile, options.pemFile, "urn:virkopcua.server.application"));
    std::filesystem::create_directory(options.trustFolder);
    if (trustOne) std::filesystem::copy_file(options.derFile, m_Home / "trusted/client.der");
    return Start(options);
  }

  // Creates a session asking for `requestedMs` and drops its channel without
  // closing it, as a client that goes away does. The granted time-out, or -1.
  double AbandonSession(double requestedMs) {
    OpcUaClient client;
    if (UA_Client_connectSecureChannel(client.get(), LoopbackUrl(m_Port).c_str()) != UA_STATUSCODE_GOOD) return -1;
    UA_CreateSessionRequest request;
    UA_CreateSessionRequest_init(&request);
    request.requestedSessionTimeout = requestedMs;
    request.sessionName = UA_STRING(const_cast<char*>("abandoned"));
    UA_CreateSessionResponse response;
    __UA_Client_Service(client.get(), &request, &UA_TYPES[UA_TYPES_CREATESESSIONREQUEST], &response,
                        &UA_TYPES[UA_TYPES_CREATESESSIONRESPONSE]);
    const double granted =
        response.responseHeader.serviceResult == UA_STATUSCODE_GOOD ? response.revisedSessionTimeout : -1;
    UA_CreateSessionResponse_clear(&response);
    return granted;  // the client knows of no session, so it only closes the channel
  }

  TempFolder m_Home;
  uint16_t m_Port = 0;
};

TEST_F(ServerOverOpcUa, ServesItsNamespaceAndDescriptionAndStopsOnCtrlC) {
  auto server = Start(OptionsOnFreePort());
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << server->Output();

  for (const auto& endpoint : Endpoints(m_Port)) {
    EXPECT_EQ(endpoint.policy, kNone);
    EXPECT_EQ(endpoint.applicationName, "Virk OPC-UA server protocols Modbus");
    EXPECT_EQ(endpoint.applicationUri, "urn:virkopcua.server.application");
    EXPECT_EQ(endpoint.productUri, "urn:virkopcua.server.product");
  }

  OpcUaClient client;
  ASSERT_EQ(UA_Client_connect(client.get(), LoopbackUrl(m_Port).c_str()), UA_STATUSCODE_GOOD);
  UA_Variant value;
  UA_Variant_init(&value);
  ASSERT_EQ(UA_Client_readValueAttribute(client.get(), UA_NODEID_NUMERIC(0, UA_NS0ID_SERVER_NAMESPACEARRAY), &value),
            UA_STATUSCODE_GOOD);
  ASSERT_TRUE(UA_Variant_hasArrayType(&value, &UA_TYPES[UA_TYPES_STRING]));
  ASSERT_GE(value.arrayLength, 3u);
  EXPECT_EQ(test::Text(static_cast<UA_String*>(value.data)[2]), "VirkModbusServerNS");
  UA_Variant_clear(&value);
  UA_Client_disconnect(client.get());

  EXPECT_EQ(server->StopWith(SIGINT, 10s), 0) << server->Output();
  EXPECT_NE(server->Output().find("received ctrl-c"), std::string::npos) << server->Output();

  // The same stream went to the log file under the profile folder.
  std::ifstream log(m_Home / "Documents/VIRK/OPC UA/Log/OPCUAserver.log");
  const std::string logText((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(logText.find("[UA_Log_PLogOut@"), std::string::npos) << logText;
  EXPECT_NE(logText.find("[server] - received ctrl-c"), std::string::npos) << logText;
}

TEST_F(ServerOverOpcUa, AnonymousSessionIsRefusedWhenNotAllowed) {
  StartOptions options = OptionsOnFreePort();
  options.allowanonimus = "false";
  auto server = Start(options, {{"operator", "secret"}});
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << server->Output();

  for (const auto& endpoint : Endpoints(m_Port))
    for (UA_UserTokenType token : endpoint.tokens) EXPECT_NE(token, UA_USERTOKENTYPE_ANONYMOUS);
  OpcUaClient client;
  EXPECT_NE(UA_Client_connect(client.get(), LoopbackUrl(m_Port).c_str()), UA_STATUSCODE_GOOD);
  EXPECT_NE(server->Output().find("passwords are only accepted over encrypted endpoints"), std::string::npos)
      << server->Output();

  EXPECT_EQ(server->StopWith(SIGTERM, 10s), 0) << server->Output();
  EXPECT_NE(server->Output().find("received ctrl-c"), std::string::npos) << server->Output();
}

TEST_F(ServerOverOpcUa, LogOptionSetsTheLevelCaseSensitively) {
  StartOptions options = OptionsOnFreePort();
  options.log = "none";
  auto quiet = Start(options);
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << quiet->Output();
  EXPECT_EQ(quiet->StopWith(SIGINT, 10s), 0);
  const std::string quietOutput = quiet->Output();
  EXPECT_NE(quietOutput.find("LOG level - none"), std::string::npos) << quietOutput;
  EXPECT_EQ(quietOutput.find("[UA_Log_PLogOut@"), std::string::npos) << "nothing after start-up:\n" << quietOutput;
  const std::string logFile = m_Home / "Documents/VIRK/OPC UA/Log/OPCUAserver.log";
  EXPECT_TRUE(!std::filesystem::exists(logFile) || std::filesystem::file_size(logFile) == 0);

  // "Debug" is not "debug": the level stays info.
  options = OptionsOnFreePort();
  options.log = "Debug";
  auto info = Start(options);
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << info->Output();
  EXPECT_EQ(info->StopWith(SIGINT, 10s), 0);
  const std::string infoOutput = info->Output();
  EXPECT_NE(infoOutput.find("LOG level - Debug"), std::string::npos) << infoOutput;
  EXPECT_NE(infoOutput.find("Log option \"Debug\" is not a level word"), std::string::npos) << infoOutput;
  EXPECT_EQ(quietOutput.find("is not a level word"), std::string::npos) << quietOutput;
  EXPECT_NE(infoOutput.find(" INFO  ["), std::string::npos) << infoOutput;
  EXPECT_EQ(infoOutput.find(" DEBUG ["), std::string::npos) << infoOutput;
}

TEST_F(ServerOverOpcUa, LogFolderAndFilesAreOwnerOnlyAndOlderOnesAreNarrowed) {
  const virk::test::ScopedUmask usual(022);  // inherited by the server
  const std::string log = m_Home / "Documents/VIRK/OPC UA/Log";
  for (const char* start : {"fresh", "after an older version"}) {
    SCOPED_TRACE(start);
    auto server = Start(OptionsOnFreePort());
    ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << server->Output();
    EXPECT_EQ(virk::test::ModeOf(log), 0700u);
    EXPECT_EQ(virk::test::ModeOf(log + "/OPCUAserver.log"), 0600u);
    EXPECT_EQ(virk::test::ModeOf(m_Home / "Documents/VIRK/OPC UA"), 0755u) << "only the Log folder is closed";
    EXPECT_EQ(server->StopWith(SIGINT, 10s), 0) << server->Output();
    std::filesystem::permissions(log, std::filesystem::perms(0755));
    std::filesystem::permissions(log + "/OPCUAserver.log", std::filesystem::perms(0644));
  }
}

TEST_F(ServerOverOpcUa, CrashLeavesAReportInTheDumpFolder) {
  const rlimit noCore{0, 0};  // inherited by the server: no core file in the test folder
  ASSERT_EQ(setrlimit(RLIMIT_CORE, &noCore), 0);
  const virk::test::ScopedUmask usual(022);
  auto server = Start(OptionsOnFreePort());
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << server->Output();
  EXPECT_EQ(server->StopWith(SIGSEGV, 10s), ServerProcess::kKilledBySignal);

  const std::filesystem::path dumps = m_Home / "Documents/VIRK/OPC UA/Dump";
  std::vector<std::filesystem::path> reports;
  for (const auto& entry : std::filesystem::directory_iterator(dumps)) reports.push_back(entry.path());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].filename().string().rfind("MemoryServer ", 0), 0u);
  EXPECT_EQ(reports[0].extension(), ".dmp");
  EXPECT_EQ(virk::test::ModeOf(dumps), 0700u);
  EXPECT_EQ(virk::test::ModeOf(reports[0]), 0600u) << "memory contents";
  std::ifstream report(reports[0]);
  const std::string text((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("SIGSEGV"), std::string::npos) << text;
}

TEST_F(ServerOverOpcUa, SecondServerOnAPortInUseEndsWithCodeOne) {
  const StartOptions options = OptionsOnFreePort();
  auto first = Start(options);
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << first->Output();
  auto second = Start(options, {}, "second.txt");
  EXPECT_EQ(second->WaitForExit(10s), 1) << second->Output();
  EXPECT_NE(second->Output().find("Port " + std::to_string(m_Port) + " is already in use"), std::string::npos)
      << second->Output();
  EXPECT_EQ(first->StopWith(SIGINT, 10s), 0) << first->Output();

  // Stopped, the port is free again at once for the next start.
  auto restarted = Start(options, {}, "restarted.txt");
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << restarted->Output();
  EXPECT_EQ(restarted->StopWith(SIGINT, 10s), 0) << restarted->Output();
}

TEST_F(ServerOverOpcUa, SessionLimitRefusesWithItsOwnStatusUntilASessionCloses) {
  auto server = Start(OptionsOnFreePort(), {}, "output.txt", "maxSessions = 2\n");
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << server->Output();
  const std::string url = LoopbackUrl(m_Port);

  // Two clients that keep their channels open fill the server; the third
  // still gets a channel and is refused by the session limit.
  OpcUaClient first, second, third;
  ASSERT_EQ(UA_Client_connect(first.get(), url.c_str()), UA_STATUSCODE_GOOD);
  ASSERT_EQ(UA_Client_connect(second.get(), url.c_str()), UA_STATUSCODE_GOOD);
  EXPECT_EQ(UA_Client_connect(third.get(), url.c_str()), UA_STATUSCODE_BADTOOMANYSESSIONS) << server->Output();
  EXPECT_TRUE(server->WaitForOutput("Could not create a Session - Server limits reached", 5s)) << server->Output();
  EXPECT_EQ(server->Output().find("BadOutOfMemory"), std::string::npos) << server->Output();

  // A closed session frees its place. A client that goes away without
  // closing keeps it for the time-out: an hour asked for, ten minutes granted.
  UA_Client_disconnect(first.get());
  EXPECT_EQ(AbandonSession(3600000), 600000) << server->Output();
  OpcUaClient fourth, fifth;
  EXPECT_EQ(UA_Client_connect(fourth.get(), url.c_str()), UA_STATUSCODE_BADTOOMANYSESSIONS);
  UA_Client_disconnect(second.get());
  EXPECT_EQ(UA_Client_connect(fifth.get(), url.c_str()), UA_STATUSCODE_GOOD) << server->Output();
  UA_Client_disconnect(fifth.get());
  EXPECT_EQ(server->StopWith(SIGINT, 10s), 0) << server->Output();
}

TEST_F(ServerOverOpcUa, SessionTimeOutOptionAndLimitTextsOutOfRange) {
  auto shortLived = Start(OptionsOnFreePort(), {}, "short.txt", "maxSessionTimeout = 1000\n");
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << shortLived->Output();
  EXPECT_EQ(AbandonSession(3600000), 1000);
  EXPECT_EQ(AbandonSession(0), 1000) << "no wish: the server's limit";
  EXPECT_EQ(shortLived->StopWith(SIGINT, 10s), 0) << shortLived->Output();

  // Texts the server cannot use are named and replaced by the defaults.
  auto defaults = Start(OptionsOnFreePort(), {}, "defaults.txt", "MAXSESSIONTIMEOUT = 999\nmaxSessions = 10001\n");
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << defaults->Output();
  EXPECT_EQ(AbandonSession(3600000), 600000);
  const std::string output = defaults->Output();
  EXPECT_NE(output.find("maxSessionTimeout option \"999\" is not a number 1000..3600000, using 600000"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("maxSessions option \"10001\" is not a number 1..10000, using 100"), std::string::npos)
      << output;
  EXPECT_EQ(defaults->StopWith(SIGINT, 10s), 0) << output;
}

TEST_F(ServerOverOpcUa, PortOutOfRangeListensOn4840) {
  if (!virk::test::LoopbackPortIsFree(4840)) GTEST_SKIP() << "port 4840 is taken";
  StartOptions options;
  options.port = "70000";
  auto server = Start(options);
  ASSERT_TRUE(test::WaitUntilServing(4840, 10s)) << server->Output();
  EXPECT_EQ(server->StopWith(SIGINT, 10s), 0) << server->Output();
}

TEST_F(ServerOverOpcUa, CertificateKeyAndTrustedCertificateGiveEveryPolicy) {
  auto server = StartWithCertificate(true);
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << server->Output();

  std::set<std::pair<std::string, int>> offered;
  for (const auto& endpoint : Endpoints(m_Port)) offered.insert({endpoint.policy, int(endpoint.mode)});
  const std::string base = "http://opcfoundation.org/UA/SecurityPolicy#";
  EXPECT_TRUE(offered.count({kNone, UA_MESSAGESECURITYMODE_NONE}));
  for (const char* policy : {"Basic256Sha256", "Aes256_Sha256_RsaPss", "Aes128_Sha256_RsaOaep"})
    for (UA_MessageSecurityMode mode : {UA_MESSAGESECURITYMODE_SIGN, UA_MESSAGESECURITYMODE_SIGNANDENCRYPT})
      EXPECT_TRUE(offered.count({base + policy, int(mode)})) << policy << " mode " << int(mode);
  EXPECT_EQ(server->StopWith(SIGINT, 10s), 0) << server->Output();
}

TEST_F(ServerOverOpcUa, EmptyTrustFolderGivesNoneOnly) {
  auto server = StartWithCertificate(false);
  ASSERT_TRUE(test::WaitUntilServing(m_Port, 10s)) << server->Output();
  const auto endpoints = Endpoints(m_Port);
  ASSERT_FALSE(endpoints.empty());
  for (const auto& endpoint : endpoints) EXPECT_EQ(endpoint.policy, kNone);
  EXPECT_EQ(server->StopWith(SIGINT, 10s), 0) << server->Output();
}

TEST_F(ServerOverOpcUa, TrustFolderThatCannotBeListedEndsStartUp) {
  StartOptions options = OptionsOnFreePort();
  options.trustFolder = m_Home / "no such folder";
  auto server = Start(options);
  EXPECT_EQ(server->WaitForExit(10s), 1);
  const std::string output = server->Output();
  EXPECT_NE(output.find("Loading trusted List failed: "), std::string::npos) << output;
  EXPECT_NE(output.find("Failed call Create, exit"), std::string::npos) << output;
}

}  // namespace
}  // namespace virk::server
