// How long every other client waits while one client writes to a device
// that has stopped answering. Writes run on the server's only thread, so a
// write that waits for the device holds up all reads. One channel polls a
// healthy libmodbus slave, another a device that accepts the connection
// and never answers (response time-out 500 ms, 3 attempts); a first client
// writes to the silent device five times in a row while a second client
// reads a healthy tag in a loop. Reported: the longest read of the second
// client during the first write and during the later ones (the device is
// known down by then), and how long the writes took.
#include <benchmark/benchmark.h>
#include <open62541/client_highlevel.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "libmodbus_slave.h"
#include "loopback_listener.h"
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

constexpr uint32_t kResponseTimeoutMs = 500;
constexpr int kWrites = 5;

void AddChannel(CTreeItemRoot& root, const std::string& name, uint16_t port) {
  auto& channel = AddItem<CChannel>(root, kKindChannel, name);
  channel.m_Data.SetChannelType(kChannelTcp);
  channel.m_Data.m_Protocol = kProtocolTcp;
  channel.m_Data.m_ResponseTimeout = kResponseTimeoutMs;
  channel.m_Data.m_Attempts = 3;
  channel.m_Data.Tcp()->m_IpAddress = virk::test::kLoopbackAddress;
  channel.m_Data.Tcp()->m_Port = port;
  auto& group = AddItem<CGroup>(AddItem<CDevice>(channel, kKindDevice, "D"), kKindGroup, "G");
  group.m_Data.m_Period = 100;
  auto& tag = AddItem<CDATag>(group, kKindTag, "T");
  tag.m_Data.m_RegKind = kRegHolding;
  tag.m_Data.m_Addr = 10;
  tag.m_Data.m_ValueType = kTypeUInt16;
  tag.m_Data.m_bWriteGroup = false;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_ReadStallWhileWritingToASilentDevice(benchmark::State& state) {
  virk::test::LibmodbusSlave healthy;
  virk::test::LoopbackListener silent;  // accepts into its queue, never answers
  if (!healthy.StartTcp() || !silent.Start()) return state.SkipWithError("the slaves did not start");
  CGlobal global;
  auto root = std::make_unique<CTreeItemRoot>();
  AddChannel(*root, "Healthy", healthy.Port());
  AddChannel(*root, "Silent", silent.Port());
  global.SetRoot(std::move(root));
  GlobalExchange exchange(global);
  bench::ServedGateway served(*global.Root(), exchange);
  if (!served.Ready()) return state.SkipWithError("the server or client did not start");
  UA_ClientConfig config;
  std::memset(&config, 0, sizeof config);
  config.logging = bench::QuietLogger();
  UA_ClientConfig_setDefault(&config);
  config.timeout = 60000;
  UA_Client* reader = UA_Client_newWithConfig(&config);
  if (UA_Client_connect(reader, served.Url().c_str()) != UA_STATUSCODE_GOOD) {
    UA_Client_delete(reader);
    return state.SkipWithError("the second client did not connect");
  }

  std::vector<double> firstStall, laterStall, writeMs;
  for (auto _ : state) {
    global.StartExchange();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both channels poll
    std::atomic<int> writing{0};  // 1 + index of the write under way, 0 none, -1 done
    std::thread writer([&] {
      for (int w = 0; w < kWrites; ++w) {
        writing = w + 1;
        UA_UInt16 value = UA_UInt16(100 + w);
        UA_Variant variant;
        UA_Variant_setScalar(&variant, &value, &UA_TYPES[UA_TYPES_UINT16]);
        const auto start = Clock::now();
        UA_Client_writeValueAttribute(served.Client(), UA_NODEID_STRING(2, const_cast<char*>("Silent.D.G.T")), &variant);
        writeMs.push_back(Ms(Clock::now() - start));
      }
      writing = -1;
    });
    double first = 0, later = 0;
    // Bounded: five writes take at most minutes even in the worst case.
    for (int i = 0; i < 100000 && writing.load() != -1; ++i) {
      const int during = writing.load();
      UA_Variant value;
      UA_Variant_init(&value);
      const auto start = Clock::now();
      UA_Client_readValueAttribute(reader, UA_NODEID_STRING(2, const_cast<char*>("Healthy.D.G.T")), &value);
      const double took = Ms(Clock::now() - start);
      UA_Variant_clear(&value);
      if (during == 1 || writing.load() == 1) first = std::max(first, took);
      else if (during > 1) later = std::max(later, took);
    }
    writer.join();
    global.StopExchange();
    firstStall.push_back(first);
    laterStall.push_back(later);
  }
  UA_Client_disconnect(reader);
  UA_Client_delete(reader);
  state.counters["first_write_stall_ms"] = *std::max_element(firstStall.begin(), firstStall.end());
  state.counters["later_writes_stall_ms"] = *std::max_element(laterStall.begin(), laterStall.end());
  state.counters["longest_write_ms"] = *std::max_element(writeMs.begin(), writeMs.end());
  std::sort(writeMs.begin(), writeMs.end());
  state.counters["median_write_ms"] = writeMs[writeMs.size() / 2];
}
BENCHMARK(BM_ReadStallWhileWritingToASilentDevice)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
