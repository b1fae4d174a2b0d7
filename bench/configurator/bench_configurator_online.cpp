// The configurator connected to a running server: adding 1,000 and 10,000
// tags in one batch (the worker's loop of the tag dialog, one stop and one
// start of the exchange around it), and the longest stall of the GUI thread
// while the search dialog connects to a server that accepts but never answers.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <memory>

#include "loopback_listener.h"
#include "model/tag_series.h"
#include "model/tree_edit.h"
#include "opcua/opcua_wrapper.h"
#include "opcua/searchopcuaserver.h"
#include "opcua_client.h"
#include "server_process.h"
#include "temp_folder.h"
#include "test_config.h"
#include "ua_calls.h"

namespace {

using namespace std::chrono_literals;
namespace st = virk::server::test;

const char kNoneEndpoint[] = "http://opcfoundation.org/UA/SecurityPolicy#None (None)";

// The server program on its emulated sample, one group; the wrapper connected.
struct ConnectedServer {
  st::TempFolder home;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  std::unique_ptr<st::ServerProcess> server;
  OPCUAWrapper wrapper;

  bool Start() {
    virk::StartOptions options;
    options.port = std::to_string(port);
    std::string error;
    if (!st::WriteTestConfig(home / "gateway.cfg", options, {}, error)) return false;
    server = std::make_unique<st::ServerProcess>(VIRK_SERVER_PROGRAM, std::vector<std::string>{home / "gateway.cfg"},
                                                 home.Path(), home / "output.txt");
    return st::WaitUntilServing(port, 20s) &&
           wrapper.Connect(QString::fromStdString(st::LoopbackUrl(port)), kNoneEndpoint, false,
                           OPCUAWrapper::kAnonymous, {}, {}) == OPCUAWrapper::kOk;
  }
  ~ConnectedServer() {
    wrapper.Disconnect();
    if (server) server->StopWith(SIGINT, 20s);
  }
};

// Whether the server publishes the tag (read by an independent client).
bool ServerHas(uint16_t port, const std::string& fullName) {
  st::OpcUaClient observer;
  if (!st::Connect(observer, st::LoopbackUrl(port))) return false;
  st::ReadResult read;
  st::Read(observer.get(), fullName, UA_ATTRIBUTEID_NODECLASS, read);
  return read.value.status == UA_STATUSCODE_GOOD;
}

void BM_AddTagsWhileConnected(benchmark::State& state) {
  const int count = int(state.range(0));
  ConnectedServer connected;
  if (!connected.Start()) {
    state.SkipWithError("the server did not start or the wrapper did not connect");
    return;
  }
  // A group of its own per round, so every round adds `count` new nodes.
  int round = 0;
  // The local side of the server's Channel_0.Device_0, where the paths of the added tags start.
  CChannelInfo channel;
  channel.SetName("Channel_0");
  virk::ItemPtr deviceItem = std::make_unique<CDeviceInfo>();
  deviceItem->SetName("Device_0");
  virk::CItem& device = *deviceItem;
  channel.AddChild(std::move(deviceItem));
  std::string lastTag;
  for (auto _ : state) {
    state.PauseTiming();
    const QString groupName = QString("Batch_%1").arg(++round);
    auto group = std::make_unique<CGroupInfo>();
    group->SetName(groupName.toStdString());
    CGroupInfo* raw = group.get();
    device.AddChild(std::move(group));
    const bool groupAdded = connected.wrapper.AddNode(QStringList{"Channel_0.Device_0", "3"} +
                                                      SettingsArguments(*raw));
    virk::ItemPtr first = NewItem(*raw, virk::kKindTag);
    const QStringList args = QStringList{ItemPath(*raw), "4"} + SettingsArguments(*first);
    state.ResumeTiming();
    const TagSeriesOutcome outcome = AddTagSeries(*raw, std::move(first), args, count, &connected.wrapper);
    state.PauseTiming();
    if (!groupAdded || outcome.added != count || outcome.code != 0) {
      state.SkipWithError("a tag was not added on the server");
      break;
    }
    lastTag = raw->Children().rbegin()->second->FullName();
    state.ResumeTiming();
  }
  if (!ServerHas(connected.port, lastTag)) state.SkipWithError("the server does not publish the last tag");
  state.counters["tags"] = count;
}
BENCHMARK(BM_AddTagsWhileConnected)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The search dialog's "Подключиться" to a listener that takes the connection
// and never answers: the call waits out the request time-out on a worker
// while a 5 ms timer on the GUI thread measures the longest gap.
void BM_GuiStallConnectingToSilentServer(benchmark::State& state) {
  virk::test::LoopbackListener silent;
  if (!silent.Start()) {
    state.SkipWithError("no listener");
    return;
  }
  const QString url = QString::fromStdString(st::LoopbackUrl(silent.Port()));
  OPCUAWrapper wrapper;
  SearchOPCUAServer dialog(false, nullptr, {url}, {kNoneEndpoint}, &wrapper);
  dialog.show();
  qint64 longestGapMs = 0, connectMs = 0;
  for (auto _ : state) {
    QElapsedTimer sinceTick, whole;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      longestGapMs = std::max(longestGapMs, sinceTick.restart());
    });
    // The click runs from the event loop, as the operator's would.
    QTimer::singleShot(0, [&] {
      sinceTick.start();
      ticker.start();
      whole.start();
      dialog.findChild<QPushButton*>("pb_connect")->click();
      connectMs = whole.elapsed();
      ticker.stop();
      QApplication::exit(0);
    });
    QApplication::exec();
  }
  if (wrapper.IsConnected()) state.SkipWithError("connected to a server that never answers");
  state.counters["longest_gui_gap_ms"] = double(longestGapMs);
  state.counters["connect_ms"] = double(connectMs);
}
BENCHMARK(BM_GuiStallConnectingToSilentServer)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  Q_INIT_RESOURCE(resources);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
