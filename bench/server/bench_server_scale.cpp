// The server program at scale: N holding-register tags (half 16-bit, half
// 32-bit float over two registers, contiguous) on 10 Modbus TCP channels, one
// device each, groups of 1,000 tags polled every second, against libmodbus
// slaves in a child process; one OPC UA client reads, subscribes and writes.
//   bench_server_scale [--tags N] [--seconds S]   (N 10000 .. 1000000, default 100000)
// Reports processor % of one core and resident memory (mean, peak) over the
// window, start to every tag Good, a client's write until the slave holds the
// value and until the client has the answer, and a change in the slave until
// the client's notification (median and p99 in ms).
#include <benchmark/benchmark.h>
#include <modbus/modbus.h>
#include <open62541/client_highlevel_async.h>
#include <open62541/client_subscriptions.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/polled_configuration.h"
#include "bench/server/process_stats.h"
#include "libmodbus_slave_process.h"
#include "loopback_listener.h"
#include "opcua_client.h"
#include "server_process.h"
#include "temp_folder.h"
#include "ua_calls.h"

namespace {

using namespace virk;
using namespace virk::server::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kChannels = 10;
constexpr int kTagsPerGroup = 1000;
constexpr uint32_t kPeriodMs = 1000;
constexpr int kWrites = 200;  // enough for the p99 not to be the worst write alone
constexpr int kChanges = 15;

int g_Tags = 100000;
double g_Seconds = 30;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

int GroupsPerChannel() { return g_Tags / kChannels / kTagsPerGroup; }

// Names as the generator numbers them over the whole file.
std::string TagName(int c, int g, int t) {
  const int group = c * GroupsPerChannel() + g;
  return "Channel_" + std::to_string(c) + ".Device_" + std::to_string(c) + ".Group_" + std::to_string(group) +
         ".Tag_" + std::to_string(group * kTagsPerGroup + t);
}

// Reads every tag in batches; the count of those not Good.
size_t NotGood(UA_Client* client, const std::vector<UA_NodeId>& nodes) {
  size_t bad = 0;
  constexpr size_t kBatch = 2000;
  for (size_t first = 0; first < nodes.size(); first += kBatch) {
    const size_t count = std::min(kBatch, nodes.size() - first);
    std::vector<UA_ReadValueId> ids(count);
    for (size_t i = 0; i < count; ++i) {
      UA_ReadValueId_init(&ids[i]);
      ids[i].nodeId = nodes[first + i];
      ids[i].attributeId = UA_ATTRIBUTEID_VALUE;
    }
    UA_ReadRequest request;
    UA_ReadRequest_init(&request);
    request.nodesToRead = ids.data();
    request.nodesToReadSize = count;
    UA_ReadResponse response = UA_Client_Service_read(client, request);
    if (response.responseHeader.serviceResult != UA_STATUSCODE_GOOD || response.resultsSize != count) {
      bad += count;
    } else {
      for (size_t i = 0; i < count; ++i)
        if (!response.results[i].hasValue || (response.results[i].hasStatus && response.results[i].status != 0)) ++bad;
    }
    UA_ReadResponse_clear(&response);
  }
  return bad;
}

struct WriteTimes {
  std::vector<double> toSlave, answered;
};

// Writes through the client while polling goes on, watching the slave's
// register over a Modbus connection of its own.
bool MeasureWrites(UA_Client* client, const std::string& tag, uint16_t slavePort, WriteTimes& times) {
  modbus_t* modbus = modbus_new_tcp("127.0.0.1", slavePort);
  if (!modbus || modbus_connect(modbus) != 0) return false;
  UA_NodeId node = UA_NODEID_STRING(2, const_cast<char*>(tag.c_str()));
  for (int i = 0; i < kWrites; ++i) {
    const UA_UInt16 value = UA_UInt16(20000 + i);
    UA_Variant variant;
    UA_Variant_setScalar(&variant, const_cast<UA_UInt16*>(&value), &UA_TYPES[UA_TYPES_UINT16]);
    struct Answer {
      bool done = false, good = false;
      Clock::time_point at;
    } answer;
    const auto start = Clock::now();
    UA_Client_writeValueAttribute_async(
        client, node, &variant,
        [](UA_Client*, void* user, UA_UInt32, UA_WriteResponse* response) {
          auto* a = static_cast<Answer*>(user);
          a->done = true;
          a->good = response->responseHeader.serviceResult == UA_STATUSCODE_GOOD && response->resultsSize == 1 &&
                    response->results[0] == UA_STATUSCODE_GOOD;
          a->at = Clock::now();
        },
        &answer, nullptr);
    Clock::time_point atSlave{};
    while ((!answer.done || atSlave == Clock::time_point{}) && Clock::now() - start < 3s) {
      uint16_t held = 0;
      if (atSlave == Clock::time_point{} && modbus_read_registers(modbus, 0, 1, &held) == 1 && held == value)
        atSlave = Clock::now();
      UA_Client_run_iterate(client, 0);
    }
    if (!answer.done || !answer.good || atSlave == Clock::time_point{}) break;
    times.toSlave.push_back(Ms(atSlave - start));
    times.answered.push_back(Ms(answer.at - start));
    std::this_thread::sleep_for(50ms);
  }
  modbus_close(modbus);
  modbus_free(modbus);
  return int(times.answered.size()) == kWrites;
}

struct Watch {
  UA_UInt16 expected = 0;
  bool seen = false;
  Clock::time_point at;
};

// A value changed in the slave until the client's notification.
bool MeasureChanges(UA_Client* client, const std::string& tag, uint16_t slavePort, std::vector<double>& out) {
  modbus_t* modbus = modbus_new_tcp("127.0.0.1", slavePort);
  if (!modbus || modbus_connect(modbus) != 0) return false;
  UA_CreateSubscriptionRequest request = UA_CreateSubscriptionRequest_default();
  request.requestedPublishingInterval = 50;
  const UA_CreateSubscriptionResponse subscription =
      UA_Client_Subscriptions_create(client, request, nullptr, nullptr, nullptr);
  Watch watch;
  UA_MonitoredItemCreateRequest item =
      UA_MonitoredItemCreateRequest_default(UA_NODEID_STRING(2, const_cast<char*>(tag.c_str())));
  item.requestedParameters.samplingInterval = 50;
  UA_Client_MonitoredItems_createDataChange(
      client, subscription.subscriptionId, UA_TIMESTAMPSTORETURN_BOTH, item, &watch,
      [](UA_Client*, UA_UInt32, void*, UA_UInt32, void* context, UA_DataValue* value) {
        auto* w = static_cast<Watch*>(context);
        if (value->hasValue && value->value.type == &UA_TYPES[UA_TYPES_UINT16] &&
            *static_cast<UA_UInt16*>(value->value.data) == w->expected && !w->seen) {
          w->seen = true;
          w->at = Clock::now();
        }
      },
      nullptr);
  for (int i = 0; i < kChanges; ++i) {
    watch.expected = UA_UInt16(30000 + i);
    watch.seen = false;
    const auto start = Clock::now();
    if (modbus_write_register(modbus, 0, watch.expected) != 1) break;
    while (!watch.seen && Clock::now() - start < 5s) UA_Client_run_iterate(client, 5);
    if (!watch.seen) break;
    out.push_back(Ms(watch.at - start));
  }
  UA_Client_Subscriptions_deleteSingle(client, subscription.subscriptionId);
  modbus_close(modbus);
  modbus_free(modbus);
  return int(out.size()) == kChanges;
}

void BM_ServerAtScale(benchmark::State& state) {
  TempFolder home;
  std::vector<uint16_t> slavePorts;
  const pid_t slaves = virk::test::StartLibmodbusSlaveProcess(kChannels, slavePorts, 65535);
  if (slaves < 0) return state.SkipWithError("the slaves did not start");
  struct SlaveStop {
    pid_t pid;
    ~SlaveStop() { virk::test::StopSlaveProcess(pid); }
  } slaveStop{slaves};

  const uint16_t opcuaPort = virk::test::ClosedLoopbackPort();
  std::string error;
  if (!bench::WritePolledConfiguration(home / "scale.cfg", kChannels, GroupsPerChannel(), kTagsPerGroup, kPeriodMs,
                                       slavePorts, opcuaPort, error, {}, /*holdingFloats=*/true))
    return state.SkipWithError(("configuration: " + error).c_str());

  const auto started = Clock::now();
  ServerProcess server(VIRK_SERVER_PROGRAM, {home / "scale.cfg"}, home.Path(), home / "output.txt");
  if (!server.Started() || !WaitUntilServing(opcuaPort, 120s))
    return state.SkipWithError(("the server did not serve: " + server.Output()).c_str());
  const double startToServing = std::chrono::duration<double>(Clock::now() - started).count();
  OpcUaClient client;  // its session starts the exchange
  if (!Connect(client, LoopbackUrl(opcuaPort))) return state.SkipWithError("no client session");
  UA_ClientConfig* config = UA_Client_getConfig(client.get());
  config->timeout = 30000;

  std::vector<std::string> names;
  for (int c = 0; c < kChannels; ++c)
    for (int g = 0; g < GroupsPerChannel(); ++g)
      for (int t = 0; t < kTagsPerGroup; ++t) names.push_back(TagName(c, g, t));
  std::vector<UA_NodeId> nodes;
  for (std::string& name : names) nodes.push_back(UA_NODEID_STRING(2, name.data()));
  size_t bad = nodes.size();
  while (bad > 0 && Clock::now() - started < 120s) bad = NotGood(client.get(), nodes);
  if (bad > 0) return state.SkipWithError((std::to_string(bad) + " tags not Good within 120 s").c_str());
  const double startToGood = std::chrono::duration<double>(Clock::now() - started).count();

  for (auto _ : state) {
    std::vector<double> rss;
    const double cpuStart = virk::bench::ProcessCpuSeconds(server.Pid());
    const auto wallStart = Clock::now();
    while (Clock::now() - wallStart < std::chrono::duration<double>(g_Seconds)) {
      UA_Client_run_iterate(client.get(), 0);
      rss.push_back(virk::bench::StatusMiB(server.Pid(), "VmRSS"));
      std::this_thread::sleep_for(1s);
    }
    const double cpuEnd = virk::bench::ProcessCpuSeconds(server.Pid());
    const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    state.SetIterationTime(wall);
    if (cpuStart < 0 || cpuEnd < 0) return state.SkipWithError("the server process ended");
    double sum = 0;
    for (double r : rss) sum += r;
    state.counters["cpu_percent_of_one_core"] = 100.0 * (cpuEnd - cpuStart) / wall;
    state.counters["rss_mean_mib"] = sum / double(rss.size());
  }
  state.counters["rss_peak_mib"] = virk::bench::StatusMiB(server.Pid(), "VmHWM");
  state.counters["start_to_all_good_s"] = startToGood;
  state.counters["start_to_serving_s"] = startToServing;

  WriteTimes writes;
  if (!MeasureWrites(client.get(), TagName(0, 0, 0), slavePorts[0], writes))
    return state.SkipWithError("a write did not reach the slave or was not answered within 3 s");
  state.counters["write_to_slave_median_ms"] = Percentile(writes.toSlave, 0.5);
  state.counters["write_to_slave_p99_ms"] = Percentile(writes.toSlave, 0.99);
  state.counters["write_answer_median_ms"] = Percentile(writes.answered, 0.5);
  state.counters["write_answer_p99_ms"] = Percentile(writes.answered, 0.99);
  std::vector<double> changes;
  if (!MeasureChanges(client.get(), TagName(1, 0, 0), slavePorts[1], changes))
    return state.SkipWithError("a change in the slave was not notified within 5 s");
  state.counters["change_to_notification_median_ms"] = Percentile(changes, 0.5);
  state.counters["change_to_notification_p99_ms"] = Percentile(changes, 0.99);
  state.counters["tags"] = g_Tags;
  UA_Client_disconnect(client.get());
  if (server.StopWith(SIGTERM, 30s) == ServerProcess::kStillRunning) server.StopWith(SIGKILL, 5s);
}

bool ReadArgument(const char* text, double lo, double hi, double& out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end || value < lo || value > hi) return false;
  out = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    double value = 0;
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      if (!ReadArgument(argv[++i], 5, 3600, g_Seconds)) {
        std::fprintf(stderr, "--seconds takes 5 to 3600\n");
        return 2;
      }
    } else if (std::strcmp(argv[i], "--tags") == 0 && i + 1 < argc) {
      if (!ReadArgument(argv[++i], 10000, 1000000, value) || int(value) % (kChannels * kTagsPerGroup) != 0) {
        std::fprintf(stderr, "--tags takes 10000 to 1000000 in steps of 10000\n");
        return 2;
      }
      g_Tags = int(value);
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = int(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  benchmark::RegisterBenchmark("BM_ServerAtScale", BM_ServerAtScale)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
