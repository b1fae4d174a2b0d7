// Latencies through the whole gateway against a libmodbus slave on loopback:
// - a register changed in the slave until the client's data-change
//   notification, with group period, sampling and publishing interval 100 ms;
// - a client's write until the slave holds the value, while every group of
//   the channel polls.
// Reported as median and 99th percentile in milliseconds.
#include <benchmark/benchmark.h>
#include <open62541/client_highlevel.h>
#include <open62541/client_subscriptions.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "libmodbus_slave.h"
#include "server/exchange/channel.h"
#include "server/exchange/da_tag.h"
#include "server/exchange/device.h"
#include "server/exchange/global.h"
#include "server/exchange/group.h"
#include "server/exchange/server_item_factory.h"

namespace {

using namespace virk;
using namespace virk::server;
using Clock = std::chrono::steady_clock;
using bench::AddItem;

// One Modbus TCP channel to the slave, one device, `groups` groups of 10
// holding-register tags each ("G<g>.T<t>" at register 10 g + t).
std::unique_ptr<CTreeItemRoot> MakeTree(uint16_t slavePort, int groups, uint32_t periodMs) {
  auto root = std::make_unique<CTreeItemRoot>();
  auto& channel = AddItem<CChannel>(*root, kKindChannel, "M");
  channel.m_Data.SetChannelType(kChannelTcp);
  channel.m_Data.m_Protocol = kProtocolTcp;
  channel.m_Data.Tcp()->m_IpAddress = 0x0100007Fu;
  channel.m_Data.Tcp()->m_Port = slavePort;
  auto& device = AddItem<CDevice>(channel, kKindDevice, "D");
  for (int g = 0; g < groups; ++g) {
    auto& group = AddItem<CGroup>(device, kKindGroup, "G" + std::to_string(g));
    group.m_Data.m_Period = periodMs;
    for (int t = 0; t < 10; ++t) {
      auto& tag = AddItem<CDATag>(group, kKindTag, "T" + std::to_string(t));
      tag.m_Data.m_RegKind = kRegHolding;
      tag.m_Data.m_Addr = uint16_t(10 * g + t);
      tag.m_Data.m_ValueType = kTypeUInt16;
      tag.m_Data.m_ByteOrder = 1;  // "BA": the high byte first, as Modbus sends registers
    }
  }
  return root;
}

// The engine on the tree, polling, and the gateway served to a client.
class Rig {
 public:
  Rig(uint16_t slavePort, int groups, uint32_t periodMs)
      : m_Root(PreparedTree(m_Global, slavePort, groups, periodMs)), m_Served(*m_Root, m_Exchange) {
    m_Global.StartExchange();
  }
  ~Rig() { m_Global.StopExchange(); }
  bool Ready() const { return m_Served.Ready(); }
  UA_Client* Client() const { return m_Served.Client(); }

 private:
  static CTreeItemRoot* PreparedTree(CGlobal& global, uint16_t slavePort, int groups, uint32_t periodMs) {
    global.SetRoot(MakeTree(slavePort, groups, periodMs));
    return global.Root();
  }

  CGlobal m_Global;  // declared first: the served gateway goes before the tree
  GlobalExchange m_Exchange{m_Global};
  CTreeItemRoot* m_Root;
  bench::ServedGateway m_Served;
};

void Report(benchmark::State& state, std::vector<double> samples) {
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  state.counters["median_ms"] = samples[samples.size() / 2];
  state.counters["p99_ms"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
  state.counters["samples"] = double(samples.size());
}

std::atomic<int> g_notified{-1};

void OnDataChange(UA_Client*, UA_UInt32, void*, UA_UInt32, void*, UA_DataValue* value) {
  if (value->hasValue && UA_Variant_hasScalarType(&value->value, &UA_TYPES[UA_TYPES_UINT16]))
    g_notified = *static_cast<UA_UInt16*>(value->value.data);
}

void BM_ChangeToNotification(benchmark::State& state) {
  virk::test::LibmodbusSlave slave;
  if (!slave.StartTcp()) return state.SkipWithError("the slave did not start");
  Rig rig(slave.Port(), 1, 100);
  if (!rig.Ready()) return state.SkipWithError("the server or client did not start");
  UA_CreateSubscriptionRequest subscription = UA_CreateSubscriptionRequest_default();
  subscription.requestedPublishingInterval = 100;
  const UA_CreateSubscriptionResponse created =
      UA_Client_Subscriptions_create(rig.Client(), subscription, nullptr, nullptr, nullptr);
  std::string node = "M.D.G0.T0";
  UA_MonitoredItemCreateRequest item =
      UA_MonitoredItemCreateRequest_default(UA_NODEID_STRING(2, const_cast<char*>(node.c_str())));
  item.requestedParameters.samplingInterval = 100;
  const UA_MonitoredItemCreateResult monitored = UA_Client_MonitoredItems_createDataChange(
      rig.Client(), created.subscriptionId, UA_TIMESTAMPSTORETURN_BOTH, item, nullptr, OnDataChange, nullptr);
  if (monitored.statusCode != UA_STATUSCODE_GOOD) return state.SkipWithError("no monitored item");

  std::mt19937 random(7);
  std::vector<double> samples;
  uint16_t value = 1000;
  for (auto _ : state) {
    // Start at a random phase of the poll and publish cycles.
    const auto settle = Clock::now() + std::chrono::milliseconds(100 + random() % 100);
    while (Clock::now() < settle) UA_Client_run_iterate(rig.Client(), 5);
    ++value;
    slave.SetHoldingRegister(0, value);
    const auto changed = Clock::now();
    const auto deadline = changed + std::chrono::seconds(3);
    while (g_notified != value && Clock::now() < deadline) UA_Client_run_iterate(rig.Client(), 1);
    if (g_notified != value) return state.SkipWithError("no notification within 3 s");
    samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - changed).count());
  }
  Report(state, samples);
}
BENCHMARK(BM_ChangeToNotification)->Iterations(200)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteWhileGroupsPoll(benchmark::State& state) {
  virk::test::LibmodbusSlave slave;
  if (!slave.StartTcp()) return state.SkipWithError("the slave did not start");
  constexpr int kGroups = 5;
  Rig rig(slave.Port(), kGroups, 10);
  if (!rig.Ready()) return state.SkipWithError("the server or client did not start");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // every group has polled
  std::vector<double> samples;
  const std::string node = "M.D.G2.T5";  // register 25
  UA_UInt16 value = 5000;
  for (auto _ : state) {
    ++value;
    UA_Variant variant;
    UA_Variant_setScalar(&variant, &value, &UA_TYPES[UA_TYPES_UINT16]);
    const auto start = Clock::now();
    const UA_StatusCode status =
        UA_Client_writeValueAttribute(rig.Client(), UA_NODEID_STRING(2, const_cast<char*>(node.c_str())), &variant);
    samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (status != UA_STATUSCODE_GOOD || slave.HoldingRegister(25) != value) {
      const std::string error = std::string("the slave did not take the value: ") + UA_StatusCode_name(status) +
                                ", register " + std::to_string(slave.HoldingRegister(25));
      return state.SkipWithError(error.c_str());
    }
  }
  Report(state, samples);
}
BENCHMARK(BM_WriteWhileGroupsPoll)->Iterations(300)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
