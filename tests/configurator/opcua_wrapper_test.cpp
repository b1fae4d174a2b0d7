// The configurator's OPC UA client against the real server program on a
// loopback port: discovery, endpoints, an anonymous connection with browse,
// edits through the management methods and the monitoring subscriptions,
// checked by an independent client (open62541's own, not the wrapper).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <csignal>
#include <memory>
#include <mutex>
#include <filesystem>

#include "common/method_args.h"
#include "loopback_listener.h"
#include "model/item_info.h"
#include "model/tree_edit.h"
#include "opcua/opcua_wrapper.h"
#include "opcua_client.h"
#include "server_process.h"
#include "temp_folder.h"
#include "test_certificates.h"
#include "test_config.h"
#include "ua_calls.h"

namespace {

using namespace std::chrono_literals;
namespace st = virk::server::test;

const char kNoneEndpoint[] = "http://opcfoundation.org/UA/SecurityPolicy#None (None)";

// The server program on an emulated configuration, anonymous access on.
class WrapperTest : public ::testing::Test {
 protected:
  explicit WrapperTest(const virk::GeneratorOptions& records = {}) : records(records) {}
  void SetUp() override {
    virk::StartOptions options;
    options.port = std::to_string(port);
    std::string error;
    ASSERT_TRUE(st::WriteTestConfig(home / "gateway.cfg", options, {}, error, {}, records)) << error;
    server = std::make_unique<st::ServerProcess>(VIRK_SERVER_PROGRAM, std::vector<std::string>{home / "gateway.cfg"},
                                                 home.Path(), home / "output.txt");
    ASSERT_TRUE(st::WaitUntilServing(port, 20s)) << server->Output();
  }
  const virk::GeneratorOptions records;
  st::TempFolder home;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  std::unique_ptr<st::ServerProcess> server;
};

TEST_F(WrapperTest, FindsConnectsBrowsesAndEditsARunningServer) {
  const QString url = QString::fromStdString(st::LoopbackUrl(port));

  OPCUAWrapper wrapper;
  QSignalSpy servers(&wrapper, &OPCUAWrapper::signalSetServerDlgSearchDevice);
  QSignalSpy endpoints(&wrapper, &OPCUAWrapper::signalSetEndpointDlgSearchDevice);
  ASSERT_EQ(wrapper.FindServers(url), OPCUAWrapper::kOk);
  ASSERT_EQ(servers.count(), 1);
  EXPECT_EQ(servers[0][0].toStringList().value(0), url);
  ASSERT_EQ(wrapper.GetEndpoints(url), OPCUAWrapper::kOk);
  ASSERT_EQ(endpoints.count(), 1);
  EXPECT_TRUE(endpoints[0][0].toStringList().contains(kNoneEndpoint)) << endpoints[0][0].toStringList().join('\n').toStdString();

  ASSERT_EQ(wrapper.Connect(url, kNoneEndpoint, true, OPCUAWrapper::kAnonymous, {}, {}), OPCUAWrapper::kOk);
  EXPECT_TRUE(wrapper.IsConnected());
  EXPECT_TRUE(wrapper.FoundNodes().contains("ns=2;s=Channel_0.Device_0.Group_0.Tag_0"))
      << wrapper.FoundNodes().join('\n').toStdString();

  // A tag added through the methods is a node the independent client reads.
  CDATagInfo tag;
  tag.SetName("Added");
  tag.m_Data.m_RegKind = 3;
  const QStringList add = QStringList{"Channel_0.Device_0.Group_0", "4"} + SettingsArguments(tag);
  ASSERT_TRUE(wrapper.StopExchange());
  EXPECT_TRUE(wrapper.AddNode(add));
  ASSERT_TRUE(wrapper.StartExchange());
  st::OpcUaClient observer;
  ASSERT_TRUE(st::Connect(observer, st::LoopbackUrl(port)));
  st::ReadResult read;
  st::Read(observer.get(), "Channel_0.Device_0.Group_0.Added", UA_ATTRIBUTEID_DATATYPE, read);
  EXPECT_EQ(read.service, UA_STATUSCODE_GOOD);
  EXPECT_EQ(read.value.status, UA_STATUSCODE_GOOD);

  // The server refuses a second tag of that name with "Failed" and a good
  // status: that is a failure, not a success.
  EXPECT_FALSE(wrapper.AddNode(add));
  EXPECT_TRUE(wrapper.DeleteNode({"Channel_0.Device_0.Group_0.Added"}));
  st::ReadResult gone;
  st::Read(observer.get(), "Channel_0.Device_0.Group_0.Added", UA_ATTRIBUTEID_DATATYPE, gone);
  EXPECT_EQ(gone.value.status, UA_STATUSCODE_BADNODEIDUNKNOWN);

  EXPECT_EQ(wrapper.Disconnect(), OPCUAWrapper::kOk);
  EXPECT_FALSE(wrapper.IsConnected());
  EXPECT_EQ(server->StopWith(SIGINT, 20s), 0) << server->Output();
}

TEST_F(WrapperTest, AServerThatDiesIsNoticedWithoutAnEdit) {
  OPCUAWrapper wrapper;
  const QString url = QString::fromStdString(st::LoopbackUrl(port));
  ASSERT_EQ(wrapper.Connect(url, kNoneEndpoint, false, OPCUAWrapper::kAnonymous, {}, {}), OPCUAWrapper::kOk);
  QSignalSpy lost(&wrapper, &OPCUAWrapper::signalErrorConnect);
  QSignalSpy log(&wrapper, &OPCUAWrapper::signalSetLogDlgSearchDevice);

  EXPECT_EQ(server->StopWith(SIGKILL, 10s), st::ServerProcess::kKilledBySignal);
  EXPECT_TRUE(lost.wait(int(OPCUAWrapper::kRequestTimeoutMs)));
  EXPECT_FALSE(wrapper.IsConnected());
  ASSERT_GE(log.count(), 1);
  EXPECT_TRUE(log.last()[0].toString().startsWith("Соединение с сервером потеряно.")) << log.last()[0].toString().toStdString();
  EXPECT_FALSE(wrapper.AddNode({"Channel_0", "2", "Device_9"})) << "and answers at once";
}

TEST(OPCUAWrapper, NoServerAndAnUnknownEndpointAreReported) {
  OPCUAWrapper wrapper;
  QSignalSpy errors(&wrapper, &OPCUAWrapper::signalErrorConnect);
  QSignalSpy log(&wrapper, &OPCUAWrapper::signalSetLogDlgSearchDevice);
  const QString url = QString::fromStdString(st::LoopbackUrl(virk::test::ClosedLoopbackPort()));
  EXPECT_EQ(wrapper.FindServers(url), OPCUAWrapper::kFailed);
  EXPECT_EQ(wrapper.Connect(url, "", false, OPCUAWrapper::kAnonymous, {}, {}), OPCUAWrapper::kFailed);
  EXPECT_EQ(errors.count(), 2);
  ASSERT_EQ(log.count(), 2);
  EXPECT_TRUE(log[0][0].toString().startsWith("Не удалось найти сервер. Обнаружение сервера включено? Код ошибки "));
  EXPECT_EQ(log[1][0].toString(), "Не удалось подключиться к конечной точке. Конечная точка не опознана");
  EXPECT_EQ(wrapper.Disconnect(), OPCUAWrapper::kFailed);
}

// Encrypted endpoints with the three encrypted identity kinds; the server
// trusts the client's certificate, the client the server's.
TEST(OPCUAWrapper, EncryptedIdentitiesAreAcceptedOrRefusedAsTheServerSays) {
  st::TempFolder home;
  namespace fs = std::filesystem;
  fs::create_directories(home / "trusted");
  fs::create_directories(home / "client_trust");
  fs::create_directories(home / "stranger_trust");
  ASSERT_TRUE(st::MakeCertificate(home / "server.der", home / "server.pem", "urn:virkopcua.server.application"));
  ASSERT_TRUE(st::MakeCertificate(home / "client.der", home / "client.pem", "urn:virk:test:configurator"));
  ASSERT_TRUE(st::MakeCertificate(home / "stranger.der", home / "stranger.pem", "urn:virk:test:stranger"));
  fs::copy_file(home / "client.der", home / "trusted/client.der");
  fs::copy_file(home / "server.der", home / "client_trust/server.der");
  virk::StartOptions options;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  options.port = std::to_string(port);
  options.allowanonimus = "false";
  options.derFile = home / "server.der";
  options.pemFile = home / "server.pem";
  options.trustFolder = home / "trusted";
  std::string error;
  ASSERT_TRUE(st::WriteTestConfig(home / "gateway.cfg", options, {{"operator", "secret"}}, error)) << error;
  st::ServerProcess server(VIRK_SERVER_PROGRAM, {home / "gateway.cfg"}, home.Path(), home / "output.txt");
  ASSERT_TRUE(st::WaitUntilServing(port, 20s)) << server.Output();
  const QString url = QString::fromStdString(st::LoopbackUrl(port));
  const QString encrypted = "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256 (Sign and Encrypt)";

  auto connect = [&](const std::string& name, int identity, const QString& password) {
    OPCUAWrapper wrapper;
    wrapper.SetCertificatePaths(QString::fromStdString(home / (name + ".der")),
                                QString::fromStdString(home / (name + ".pem")),
                                QString::fromStdString(home / "client_trust"));
    const int result = wrapper.Connect(url, encrypted, false, identity, "operator", password);
    if (result == OPCUAWrapper::kOk) {
      EXPECT_TRUE(wrapper.StopExchange()) << "a session that works";
    }
    return result;
  };
  EXPECT_EQ(connect("client", OPCUAWrapper::kUserPassword, "secret"), OPCUAWrapper::kOk) << server.Output();
  EXPECT_EQ(connect("client", OPCUAWrapper::kCertificate, {}), OPCUAWrapper::kOk) << server.Output();
  EXPECT_EQ(connect("client", OPCUAWrapper::kUserPassword, "wrong"), OPCUAWrapper::kFailed);
  EXPECT_EQ(connect("client", OPCUAWrapper::kAnonymousEncrypted, {}), OPCUAWrapper::kFailed)
      << "anonymous access is off";
  EXPECT_EQ(connect("stranger", OPCUAWrapper::kUserPassword, "secret"), OPCUAWrapper::kFailed)
      << "the server does not trust the stranger's certificate";

  OPCUAWrapper noCertificates;
  QSignalSpy log(&noCertificates, &OPCUAWrapper::signalSetLogDlgSearchDevice);
  EXPECT_EQ(noCertificates.Connect(url, encrypted, false, OPCUAWrapper::kCertificate, {}, {}), OPCUAWrapper::kFailed);
  ASSERT_EQ(log.count(), 1);
  EXPECT_EQ(log[0][0].toString(), "Сертификаты не найдены");
  EXPECT_EQ(server.StopWith(SIGINT, 20s), 0) << server.Output();
}

constexpr int kIntervalMs = 100;

// Two groups of three emulated tags (a constant, a random number, a sine or a
// bit), every group polled at the monitoring interval.
virk::GeneratorOptions TwoGroups() {
  virk::GeneratorOptions records;
  records.groups = 2;
  records.tags = 6;
  records.groupPeriodMs = kIntervalMs;
  return records;
}

class SubscriptionTest : public WrapperTest {
 protected:
  SubscriptionTest() : WrapperTest(TwoGroups()) {}
};

// The application log's lines, from whichever thread logs.
std::mutex g_logMutex;
QStringList g_log;
struct LogLines {
  QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& line) {
    const std::lock_guard<std::mutex> lock(g_logMutex);
    g_log << line;
  });
  ~LogLines() { qInstallMessageHandler(previous); }
  bool Has(const QString& line) const {
    const std::lock_guard<std::mutex> lock(g_logMutex);
    return g_log.contains(line);
  }
};

// Pumps this thread's events until `done`, for about five seconds at most.
template <typename Done>
bool WaitFor(Done done) {
  for (int round = 0; round < 200 && !done(); ++round) QTest::qWait(25);
  return done();
}

// The monitoring's way through the client: subscriptions for two groups (one
// with a tag the server does not have), the loop delivering their values to
// this thread, queued as to the GUI, while this thread calls the server's
// methods, and silence once the subscriptions are gone.
TEST_F(SubscriptionTest, ValuesOfTwoGroupsFlowWhileMethodsAreCalledAndStopWithTheirSubscriptions) {
  OPCUAWrapper wrapper;
  ASSERT_EQ(wrapper.Connect(QString::fromStdString(st::LoopbackUrl(port)), kNoneEndpoint, false,
                            OPCUAWrapper::kAnonymous, {}, {}),
            OPCUAWrapper::kOk);
  QObject receiver;
  std::vector<QVariantList> arrived;
  QObject::connect(
      &wrapper, &OPCUAWrapper::signalDataChange, &receiver, [&](const QVariantList& mess) { arrived.push_back(mess); },
      Qt::QueuedConnection);

  const LogLines log;
  QStringList known;
  for (int tag = 0; tag < 6; ++tag) known << QString("Channel_0.Device_0.Group_%1.Tag_%2").arg(tag / 3).arg(tag);
  const QString missing = "Channel_0.Device_0.Group_1.Missing";
  const QStringList first = known.mid(0, 3), second = known.mid(3, 1) + QStringList{missing} + known.mid(4);
  OPCUAWrapper::Subscriptions made;
  EXPECT_EQ(wrapper.CreateSubscriptions({first, {}, second}, kIntervalMs, made), OPCUAWrapper::kRetry);
  ASSERT_EQ(made.size(), 2);
  ASSERT_TRUE(made.values().contains(first) && made.values().contains(second));
  EXPECT_TRUE(log.Has("Ошибка мониторинга ноды " + missing + ": BadNodeIdUnknown"));
  EXPECT_TRUE(log.Has("Операция создания подписки прервана, возникли ошибки мониторинга"));

  wrapper.StartClientLoop();
  QMap<QString, QVariant> last;  // node -> its latest value
  size_t taken = 0;
  const auto take = [&] {
    for (; taken < arrived.size(); ++taken) {
      const QVariantList& mess = arrived[taken];
      EXPECT_EQ(mess.size(), 5);
      EXPECT_GT(mess.value(0).toInt(), 0);
      EXPECT_EQ(mess.value(2).toString(), "Good");
      EXPECT_TRUE(made.value(mess.value(4).toUInt()).contains(mess.value(3).toString())) << "in its subscription";
      last[mess.value(3).toString()] = mess.value(1);
    }
    return taken;
  };
  EXPECT_TRUE(WaitFor([&] {
    take();
    return last.size() == known.size();
  })) << last.keys().join(' ').toStdString();
  EXPECT_FALSE(last.contains(missing));
  EXPECT_FALSE(log.Has("Поступил неизвестный тип ноды"));

  st::OpcUaClient observer;
  ASSERT_TRUE(st::Connect(observer, st::LoopbackUrl(port)));
  for (int tag = 0; tag < known.size(); ++tag) {
    st::ReadResult read;
    st::Read(observer.get(), known[tag].toStdString(), UA_ATTRIBUTEID_VALUE, read);
    ASSERT_EQ(read.Type(), &UA_TYPES[UA_TYPES_DOUBLE]) << "emulated values are Double";
    EXPECT_EQ(last[known[tag]].typeId(), QMetaType::Double) << known[tag].toStdString();
    if (tag % 3 == 0) {
      EXPECT_EQ(last[known[tag]].toDouble(), read.Scalar<UA_Double>()) << "a constant";
    }
  }

  // Calls from this thread while the loop holds the client between them.
  const size_t before = take();
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(wrapper.StopExchange());
  EXPECT_TRUE(wrapper.StartExchange());
  EXPECT_LT(std::chrono::steady_clock::now() - started, 3s) << "the loop lets calls in";
  EXPECT_TRUE(WaitFor([&] { return take() >= before + 4; })) << "values go on after the calls";

  EXPECT_EQ(wrapper.DeleteSubscriptions(), OPCUAWrapper::kOk);
  QCoreApplication::processEvents();  // what was sent before the deletion
  const size_t deleted = take();
  QTest::qWait(5 * kIntervalMs);
  EXPECT_EQ(take(), deleted) << "nothing after the deletion";

  EXPECT_EQ(wrapper.Disconnect(), OPCUAWrapper::kOk) << "with the loop running";
  wrapper.SetLoopRunFlag(true);
  wrapper.StartClientLoop();  // idle without a client; the destructor ends it
  EXPECT_EQ(server->StopWith(SIGINT, 20s), 0) << server->Output();
}

}  // namespace
