// Processor time the engine spends polling 10,000 tags at a 1 s period on
// 10 TCP channels (one device, ten groups of 100 registers each), measured
// over 60 s of wall time. The libmodbus slaves run in a child process so
// that only the engine's own time is counted.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>
#include <vector>

#include "engine_tree.h"
#include "libmodbus_slave_process.h"

namespace virk {
namespace {

constexpr int kChannels = 10;
constexpr int kGroupsPerChannel = 10;
constexpr int kTagsPerGroup = 100;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_EnginePolling10000Tags(benchmark::State& state) {
  std::vector<uint16_t> ports;
  const pid_t slaves = test::StartLibmodbusSlaveProcess(kChannels, ports);
  if (slaves < 0) return state.SkipWithError("no slave process");

  CGlobal global;
  auto root = std::make_unique<CTreeItemRoot>();
  std::vector<CDATag*> lastTags;
  for (int c = 0; c < kChannels; ++c) {
    CChannel* channel = test::AddTcpChannel(*root, ports[c], kProtocolTcp);
    CDevice* device = test::AddDevice(*channel, 1);
    for (int g = 0; g < kGroupsPerChannel; ++g) {
      CGroup* group = test::AddGroup(*device, 1000, "G" + std::to_string(g));
      for (int t = 0; t < kTagsPerGroup; ++t) {
        const int address = g * kTagsPerGroup + t;
        test::AddTag(*group, "T" + std::to_string(address), kRegHolding, uint16_t(address), kTypeUInt16);
      }
      lastTags.push_back(static_cast<CDATag*>(group->Children().rbegin()->second.get()));
    }
  }
  global.SetRoot(std::move(root));
  global.StartExchange();
  const bool polled = test::WaitFor([&] {
    for (CDATag* tag : lastTags)
      if (tag->Status() != kStatusGood || !test::TagHas(*tag, tag->m_Data.m_Addr)) return false;
    return true;
  }, 20000);

  const double seconds = double(state.range(0));
  for (auto _ : state) {
    const double cpuStart = CpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    state.SetIterationTime(wall);
    state.counters["cpu_percent_of_one_core"] = 100.0 * (CpuSeconds() - cpuStart) / wall;
  }
  state.counters["all_tags_read"] = polled ? 1 : 0;
  global.StopExchange();
  test::StopSlaveProcess(slaves);
}
BENCHMARK(BM_EnginePolling10000Tags)->Arg(60)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace virk

BENCHMARK_MAIN();
