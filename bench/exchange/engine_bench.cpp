// Transaction time of the engine against the round trip of a plain libmodbus
// master reading the same ten holding registers, in the same run: over
// loopback TCP from one libmodbus slave, and over socat serial pairs at
// 115200 baud from libmodbus RTU slaves.
#include <benchmark/benchmark.h>
#include <modbus/modbus.h>

#include <chrono>
#include <cstdlib>

#include "com_path.h"
#include "engine_tree.h"
#include "libmodbus_slave.h"
#include "socat_pair.h"

namespace virk {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRegisters = 10;

// One channel, one device, one group of ten holding registers that the
// polling thread reads once; the benchmark then reads the group itself.
struct EngineOnSlave {
  CGlobal global;
  CGroup* group = nullptr;
  std::vector<CDATag*> tags;

  explicit EngineOnSlave(CChannel* channel, std::unique_ptr<CTreeItemRoot> root) {
    CDevice* device = test::AddDevice(*channel, 1);
    group = test::AddGroup(*device, 3600000);
    for (int i = 0; i < kRegisters; ++i)
      tags.push_back(test::AddTag(*group, "R" + std::to_string(i), kRegHolding, uint16_t(i), kTypeUInt16));
    global.SetRoot(std::move(root));
    global.StartExchange();
  }
  bool FirstPollDone() {
    return test::WaitFor([&] { return test::TagHas(*tags.back(), kRegisters - 1); }, 10000);
  }
};

void Compare(benchmark::State& state, EngineOnSlave& engine, modbus_t* master) {
  if (!engine.FirstPollDone()) {
    state.SkipWithError("the engine did not read the slave");
    return;
  }
  uint16_t registers[kRegisters];
  Clock::duration engineTime{}, masterTime{};
  for (auto _ : state) {
    const auto start = Clock::now();
    if (engine.group->Read() != 0) state.SkipWithError("engine read failed");
    const auto middle = Clock::now();
    if (modbus_read_registers(master, 0, kRegisters, registers) != kRegisters)
      state.SkipWithError("libmodbus read failed");
    masterTime += Clock::now() - middle;
    engineTime += middle - start;
  }
  const double engineUs = std::chrono::duration<double, std::micro>(engineTime).count() / double(state.iterations());
  const double masterUs = std::chrono::duration<double, std::micro>(masterTime).count() / double(state.iterations());
  state.counters["engine_us"] = engineUs;
  state.counters["libmodbus_us"] = masterUs;
  state.counters["ratio"] = engineUs / masterUs;
}

void BM_EngineVsLibmodbusTcp(benchmark::State& state) {
  test::LibmodbusSlave slave;
  if (!slave.StartTcp()) return state.SkipWithError("no libmodbus slave");
  auto root = std::make_unique<CTreeItemRoot>();
  CChannel* channel = test::AddTcpChannel(*root, slave.Port(), kProtocolTcp);
  EngineOnSlave engine(channel, std::move(root));
  modbus_t* master = modbus_new_tcp("127.0.0.1", slave.Port());
  if (modbus_connect(master) != 0) return state.SkipWithError("libmodbus master cannot connect");
  Compare(state, engine, master);
  engine.global.StopExchange();
  modbus_close(master);
  modbus_free(master);
}
BENCHMARK(BM_EngineVsLibmodbusTcp)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A pseudo-terminal pair has no line speed: what is measured is how soon a
// complete frame is taken, which is where waiting for the line to go quiet
// would show.
void BM_EngineVsLibmodbusRtuSerial(benchmark::State& state) {
  test::SocatPair enginePair, masterPair;
  test::LibmodbusSlave engineSlave, masterSlave;
  if (!enginePair.Start() || !masterPair.Start()) return state.SkipWithError("no socat pair");
  if (!engineSlave.StartRtu(enginePair.EndB(), 115200) || !masterSlave.StartRtu(masterPair.EndB(), 115200))
    return state.SkipWithError("no libmodbus RTU slave");
  setenv(kComTemplateVariable, enginePair.ComTemplateForEndA().c_str(), 1);
  auto root = std::make_unique<CTreeItemRoot>();
  CChannel* channel = test::AddComChannel(*root, 1, 115200, kProtocolRtu, 1000);
  EngineOnSlave engine(channel, std::move(root));
  modbus_t* master = modbus_new_rtu(masterPair.EndA().c_str(), 115200, 'N', 8, 1);
  modbus_set_slave(master, 1);
  if (modbus_connect(master) != 0) return state.SkipWithError("libmodbus master cannot open its line");
  Compare(state, engine, master);
  engine.global.StopExchange();
  modbus_close(master);
  modbus_free(master);
  unsetenv(kComTemplateVariable);
}
BENCHMARK(BM_EngineVsLibmodbusRtuSerial)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace virk

BENCHMARK_MAIN();
