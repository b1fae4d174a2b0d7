// Speed of the protocol core: planning a large group, building and framing
// requests, validating and decoding responses.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/log.h"
#include "da_tag.h"
#include "modbus.h"
#include "modbus_frame.h"

namespace virk {
namespace {

// A group as a configuration tends to hold: runs of registers of mixed
// types with small gaps, some of them byte and bit tags.
std::vector<std::unique_ptr<CDATag>> MakeGroup(size_t count) {
  static const int32_t kTypes[] = {kTypeUInt16, kTypeFloat32, kTypeInt16, kTypeInt32, kTypeBit0 + 2, kTypeFloat64};
  std::vector<std::unique_ptr<CDATag>> tags;
  uint16_t address = 0;
  for (size_t i = 0; i < count; ++i) {
    auto tag = std::make_unique<CDATag>();
    tag->m_Data.m_RegKind = kRegHolding;
    tag->m_Data.m_Addr = address;
    tag->m_Data.m_ValueType = kTypes[i % 6];
    tag->m_Data.m_ByteOrder = 1;
    tag->Init();
    address = uint16_t(address + tag->SizeInRegisters() + (i % 7 == 0 ? 1 : 0));
    tags.push_back(std::move(tag));
  }
  return tags;
}

std::vector<CDATag*> Pointers(const std::vector<std::unique_ptr<CDATag>>& tags) {
  std::vector<CDATag*> list;
  for (const auto& t : tags) list.push_back(t.get());
  return list;
}

// Plans every request of the group the way a device pass does: plan, then
// drop the tags the request serves, until none are left.
void BM_PlanGroup(benchmark::State& state) {
  const auto tags = MakeGroup(size_t(state.range(0)));
  CModbus modbus;
  modbus.SetLimits(125, 2000, 1);
  size_t requests = 0;
  for (auto _ : state) {
    std::vector<CDATag*> set = Pointers(tags);
    while (!set.empty()) {
      std::vector<CDATag*> candidates = set;
      modbus.Request_Read(candidates);
      modbus.FinishFrame();
      for (CDATag* t : candidates) t->SetDone(true);
      set.erase(std::remove_if(set.begin(), set.end(), [](CDATag* t) { return t->IsDone(); }), set.end());
      ++requests;
    }
    for (const auto& t : tags) t->SetDone(false);
  }
  state.counters["requests_per_plan"] = double(requests) / double(state.iterations());
  state.counters["time_per_request"] =
      benchmark::Counter(double(requests), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlanGroup)->Arg(10000)->Unit(benchmark::kMillisecond);

// The same with a log function installed that drops every record, as a
// server whose log level hides debug records has: the cost of formatting
// the planner's records.
void BM_PlanGroupLogged(benchmark::State& state) {
  LogFunction previous = SetLogFunction([](LogLevel, int, const std::string&) {});
  BM_PlanGroup(state);
  SetLogFunction(std::move(previous));
}
BENCHMARK(BM_PlanGroupLogged)->Arg(10000)->Unit(benchmark::kMillisecond);

// One read request of 125 registers, built and framed.
void BM_BuildReadFrame(benchmark::State& state) {
  const auto tags = MakeGroup(80);
  CModbus modbus;
  modbus.SetLimits(125, 2000, 1);
  modbus.SetProtocol(int32_t(state.range(0)));
  for (auto _ : state) {
    std::vector<CDATag*> list = Pointers(tags);
    modbus.Request_Read(list);
    modbus.FinishFrame();
    benchmark::DoNotOptimize(modbus.Frame());
  }
}
BENCHMARK(BM_BuildReadFrame)->Arg(kProtocolRtu)->Arg(kProtocolAscii)->Arg(kProtocolTcp);

// The response to that request, as it would arrive, framed for the protocol.
std::vector<uint8_t> ResponseFor(const CModbus& modbus) {
  std::vector<uint8_t> pdu = {modbus.UnitAddress(), modbus.Reqv().Fun, uint8_t(modbus.Reqv().nBytes)};
  for (uint16_t i = 0; i < modbus.Reqv().nBytes; ++i) pdu.push_back(uint8_t(i * 7));
  std::vector<uint8_t> frame(2 * pdu.size() + 6);
  frame.resize(FrameAdu(modbus.Protocol(), modbus.TransactionId(), pdu.data(), pdu.size(), frame.data()));
  return frame;
}

void BM_ValidateResponse(benchmark::State& state) {
  const auto tags = MakeGroup(80);
  CModbus modbus;
  modbus.SetLimits(125, 2000, 1);
  modbus.SetProtocol(int32_t(state.range(0)));
  std::vector<CDATag*> list = Pointers(tags);
  modbus.Request_Read(list);
  modbus.FinishFrame();
  const std::vector<uint8_t> response = ResponseFor(modbus);
  for (auto _ : state) {
    modbus.SetRawData(response.data(), response.size());
    benchmark::DoNotOptimize(modbus.ExtractFrame() && modbus.ValidateResponse());
  }
  if (modbus.CheckResult() != FrameCheck::kValid) state.SkipWithError("response did not validate");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(response.size()));
}
BENCHMARK(BM_ValidateResponse)->Arg(kProtocolRtu)->Arg(kProtocolAscii)->Arg(kProtocolTcp);

// Moving a validated 125-register response into its tags.
void BM_AnalyseResponse(benchmark::State& state) {
  const auto tags = MakeGroup(80);
  CModbus modbus;
  modbus.SetLimits(125, 2000, 1);
  std::vector<CDATag*> list = Pointers(tags);
  modbus.Request_Read(list);
  modbus.FinishFrame();
  const std::vector<uint8_t> response = ResponseFor(modbus);
  modbus.SetRawData(response.data(), response.size());
  if (!modbus.ExtractFrame() || !modbus.ValidateResponse()) state.SkipWithError("response did not validate");
  for (auto _ : state) benchmark::DoNotOptimize(modbus.AnalyseResponse(list));
  state.counters["tags"] = double(list.size());
  state.counters["time_per_tag"] = benchmark::Counter(double(list.size()) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AnalyseResponse);

}  // namespace
}  // namespace virk

BENCHMARK_MAIN();
