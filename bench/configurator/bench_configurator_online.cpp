// The configurator connected to a running server: adding 1,000 and 10,000
// tags in one batch (the worker's loop of the tag dialog, one stop and one
// start of the exchange around it), the longest stall of the GUI thread
// while the search dialog connects to a server that accepts but never
// answers, the time from "Запустить сервер" to the first live value, and the
// window's latency and processor time while it monitors 10,000 tags.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QSpinBox>
#include <QComboBox>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <vector>

#include <chrono>
#include <csignal>
#include <memory>

#include "app/mainwindow.h"
#include "common/text.h"
#include "fake_prompts.h"
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
#include "ui_mainwindow.h"
#include "views/tablemodelmonitoring.h"

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

// The window of a test run: the configuration opened, the server program of
// this build run through "Запустить сервер" on `port`, with its profile in `home`.
struct RunningWindow {
  st::TempFolder home;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  FakePrompts prompts;
  MainWindow window;

  bool Open(const std::u16string& text) {
    std::string error;
    const std::string cfg = home / "gateway.cfg";
    if (!virk::WriteConfigText(cfg, text, true, error)) return false;
    prompts.fileName = QString::fromStdString(cfg);
    window.Form()->open_action->trigger();
    window.Runner().SetProgram(VIRK_SERVER_PROGRAM);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(home.Path()));
    window.Runner().SetEnvironment(environment);
    return !window.Root().Children().empty();
  }
  void Run() {
    OnNextDialog([this](QDialog* dialog) {
      dialog->findChild<QSpinBox*>("portBox")->setValue(port);
      return true;
    });
    window.Form()->run_server_action->trigger();
  }
  bool Monitor(const std::string& channel, const std::string& device, const std::string& group) {
    virk::CItem* item = window.Root().FindChild(channel);
    item = item ? item->FindChild(device) : nullptr;
    item = item ? item->FindChild(group) : nullptr;
    if (!item) return false;
    window.Select(item);
    window.Form()->monitoring_action->trigger();
    return window.IsMonitoring();
  }
  // Waits (bounded) until row `row` of the monitoring table shows a value.
  bool WaitForValue(int row, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      const QString value = window.MonitorModel()->index(row, 1).data().toString();
      if (!value.isEmpty() && window.MonitorModel()->index(row, 2).data().toString() == "Good") return true;
    }
    return false;
  }
  ~RunningWindow() {
    if (window.Runner().IsRunning()) window.Form()->stop_server_action->trigger();
  }
};

// "Запустить сервер" on the sample, the automatic connection, "Мониторинг" on
// an emulated group, until its first value is in the table.
void BM_StartToFirstLiveValue(benchmark::State& state) {
  std::u16string sample;
  std::string error;
  if (!virk::ReadConfigText(VIRK_SAMPLE_CSV, false, sample, error)) {
    state.SkipWithError("the sample cannot be read");
    return;
  }
  for (auto _ : state) {
    RunningWindow run;
    if (!run.Open(sample)) {
      state.SkipWithError("the sample did not open");
      break;
    }
    QElapsedTimer timer;
    timer.start();
    run.Run();
    if (!run.Monitor("Plant_TCP", "Boiler", "Fast") || !run.WaitForValue(0, 20000)) {
      fprintf(stderr, "%s\n", run.window.Runner().LastLines(30).toStdString().c_str());
      state.SkipWithError("no live value");
      break;
    }
    state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
  }
}
BENCHMARK(BM_StartToFirstLiveValue)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Every group of a 10,000-tag configuration subscribed, values changing every
// second; over 20 s a 10 ms timer on the GUI thread measures how late it
// fires, and the process's processor time is taken (the client loop included).
void BM_Monitoring10kTags(benchmark::State& state) {
  virk::GeneratorOptions records;
  records.channels = 2;
  records.devices = 10;
  records.groups = 10;
  records.tags = 10000;
  records.groupPeriodMs = 1000;
  RunningWindow run;
  if (!run.Open(virk::Utf8ToUtf16(virk::GenerateConfiguration(records)))) {
    state.SkipWithError("the configuration did not open");
    return;
  }
  run.Run();
  if (!run.Monitor("Channel_0", "Device_0", "Group_0") || !run.WaitForValue(1, 20000)) {
    state.SkipWithError("monitoring did not start");
    return;
  }
  constexpr int kTickMs = 10;
  std::vector<qint64> lateness;
  for (auto _ : state) {
    QElapsedTimer sinceTick, whole;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kTickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] { lateness.push_back(sinceTick.restart() - kTickMs); });
    const double cpuBefore = ProcessCpuSeconds();
    whole.start();
    sinceTick.start();
    ticker.start();
    QEventLoop loop;  // the window's own event loop, as the operator's run has it
    QTimer::singleShot(int(state.range(0)) * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    ticker.stop();
    state.counters["cpu_percent_of_one_core"] = 100.0 * (ProcessCpuSeconds() - cpuBefore) / (whole.elapsed() / 1000.0);
  }
  std::sort(lateness.begin(), lateness.end());
  if (!lateness.empty()) {
    state.counters["latency_p99_ms"] = double(lateness[lateness.size() * 99 / 100]);
    state.counters["latency_max_ms"] = double(lateness.back());
  }
  state.counters["shown_row_value_good"] = run.window.MonitorModel()->index(1, 2).data().toString() == "Good";
}
BENCHMARK(BM_Monitoring10kTags)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
