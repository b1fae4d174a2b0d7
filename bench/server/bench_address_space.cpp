// The address space against plain open62541 in the same run:
// - building it for 100,000 tags (10 channels, 100 devices, 1,000 groups):
//   time and heap per tag of the gateway, and of the same folders and
//   data-source variables added straight through the library;
// - one Read request of 10,000 tag values, against the same request for
//   plain variables that hold the same values in their nodes.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>
#include <open62541/client_highlevel.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/csv_loader.h"
#include "common/text.h"
#include "generator.h"
#include "server/exchange/da_tag.h"
#include "server/exchange/global.h"
#include "server/exchange/device.h"
#include "server/exchange/group.h"
#include "server/exchange/item_children.h"
#include "server/exchange/server_item_factory.h"
#include "server/gateway.h"
#include "server/server_context.h"

namespace {

using namespace virk;
using namespace virk::server;
using Clock = std::chrono::steady_clock;

class NoExchange : public ExchangeControl {
 public:
  bool IsStarted() const override { return false; }
  void StartExchange() override {}
  void StopExchange() override {}
};

std::string MakeText(size_t channels, size_t devices, size_t groups, size_t tags) {
  GeneratorOptions options;
  options.channels = channels;
  options.devices = devices;
  options.groups = groups;
  options.tags = tags;
  return GenerateConfiguration(options);
}

std::unique_ptr<CTreeItemRoot> LoadTree(const std::string& text, const CItemFactory& factory) {
  auto root = std::make_unique<CTreeItemRoot>();
  CCsvLoader loader(*root, factory);
  if (!loader.LoadText(Utf8ToUtf16(text))) return nullptr;
  return root;
}

std::unique_ptr<CTreeItemRoot> MakeTree(size_t channels, size_t devices, size_t groups, size_t tags) {
  const CServerItemFactory factory;
  auto root = LoadTree(MakeText(channels, devices, groups, tags), factory);
  if (root) PrepareItems(*root);
  return root;
}

size_t HeapInUse() {
  malloc_trim(0);
  return mallinfo2().uordblks;
}

UA_String View(const std::string& text) {
  return UA_String{text.size(), reinterpret_cast<UA_Byte*>(const_cast<char*>(text.data()))};
}

// The baseline: the same folders and variables added straight through the
// library, the tag itself as node context.
UA_StatusCode ReadPlainTag(UA_Server*, const UA_NodeId*, void*, const UA_NodeId*, void* context, UA_Boolean,
                           const UA_NumericRange*, UA_DataValue* value) {
  uint32_t status = 0;
  static_cast<CDATag*>(context)->GetValue(value->value, status);
  value->hasValue = true;
  return UA_STATUSCODE_GOOD;
}

void AddPlain(UA_Server* server, UA_UInt16 ns, const CItem& item, const UA_NodeId& parent, const std::string& prefix) {
  const std::string name = prefix + (item.Kind() == kKindRoot ? std::string("Каналы") : item.FullName());
  const UA_NodeId id = UA_NODEID_STRING(ns, const_cast<char*>(name.c_str()));
  if (auto* tag = dynamic_cast<const CDATag*>(&item)) {
    UA_VariableAttributes attributes = UA_VariableAttributes_default;
    attributes.displayName = UA_LocalizedText{UA_STRING(const_cast<char*>("ru-RU")), View(name)};
    attributes.description = attributes.displayName;
    uint32_t status = 0;
    tag->GetValue(attributes.value, status);
    attributes.dataType = tag->DataType()->typeId;
    attributes.accessLevel = attributes.userAccessLevel = UA_Byte(tag->AccessFlags());
    UA_Server_addDataSourceVariableNode(server, id, parent, UA_NODEID_NUMERIC(0, UA_NS0ID_HASCOMPONENT),
                                        UA_QualifiedName{ns, View(name)},
                                        UA_NODEID_NUMERIC(0, UA_NS0ID_BASEDATAVARIABLETYPE), attributes,
                                        UA_DataSource{ReadPlainTag, nullptr}, const_cast<CDATag*>(tag), nullptr);
    UA_Variant_clear(&attributes.value);
    return;
  }
  UA_Server_addObjectNode(server, id, parent, UA_NODEID_NUMERIC(0, UA_NS0ID_ORGANIZES), UA_QualifiedName{ns, View(name)},
                          UA_NODEID_NUMERIC(0, UA_NS0ID_FOLDERTYPE), UA_ObjectAttributes_default, nullptr, nullptr);
  for (const auto& child : item.Children()) AddPlain(server, ns, *child.second, id, prefix);
}

constexpr size_t kBuildTags = 100000;  // 10 channels, 100 devices, 1,000 groups

// What one build cost: wall time and the heap it keeps. Ok is false when the
// build failed or its process did not report.
struct BuildCost {
  bool ok = false;
  double seconds = 0;
  size_t bytes = 0;
};

// Loads the tree and builds on a fresh server in a child process: each build
// starts from the same clean heap, whatever the builds before it left behind
// (which swung the time of either kind by a third depending on the order),
// and writes to a tree of its own (not to pages shared with the parent).
BuildCost MeasureInChild(const std::function<bool(UA_Server*, UA_UInt16, CTreeItemRoot&)>& build,
                         bool compactStore) {
  int channel[2];
  if (pipe(channel) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    const auto root = MakeTree(10, 100, 1000, kBuildTags);
    UA_UInt16 ns = 0;
    UA_Server* server = bench::NewLoopbackServer(4840, ns, compactStore);
    BuildCost cost;
    const size_t before = HeapInUse();
    const auto start = Clock::now();
    cost.ok = root != nullptr && build(server, ns, *root);
    cost.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    cost.bytes = HeapInUse() - before;
    const bool sent = write(channel[1], &cost, sizeof cost) == ssize_t(sizeof cost);
    _exit(sent ? 0 : 1);  // the server and the tree die with the process
  }
  close(channel[1]);
  BuildCost cost;
  if (child < 0 || read(channel[0], &cost, sizeof cost) != ssize_t(sizeof cost)) cost.ok = false;
  close(channel[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return cost;
}

void BM_BuildAddressSpace100k(benchmark::State& state) {
  bench::OpenServerLog();
  NoExchange exchange;
  const CServerItemFactory factory;
  std::unique_ptr<Gateway> gateway;  // set in the child, which ends without freeing it
  const auto buildGateway = [&](UA_Server* server, UA_UInt16 ns, CTreeItemRoot& root) {
    gateway = std::make_unique<Gateway>(server, ns, root, factory, exchange);
    return gateway->DefineAddressSpace() && gateway->Callback().ItemIndex().size() == 1 + 10 + 100 * 6 + 1000 + kBuildTags;
  };
  const auto buildPlain = [&](UA_Server* server, UA_UInt16 ns, CTreeItemRoot& root) {
    AddPlain(server, ns, root, UA_NODEID_NUMERIC(0, UA_NS0ID_OBJECTSFOLDER), "");
    return true;
  };
  BuildCost ours, plain;
  bool oursFirst = false;
  for (auto _ : state) {
    // Each goes first in turn, so neither gains from what the machine did before.
    oursFirst = !oursFirst;
    BuildCost g, p;
    if (oursFirst) g = MeasureInChild(buildGateway, true);
    p = MeasureInChild(buildPlain, false);
    if (!oursFirst) g = MeasureInChild(buildGateway, true);
    if (!g.ok || !p.ok) return state.SkipWithError("a build failed or did not report");
    ours.seconds += g.seconds;
    plain.seconds += p.seconds;
    ours.bytes = g.bytes;
    plain.bytes = p.bytes;
  }
  const double runs = double(state.iterations());
  state.counters["gateway_s"] = ours.seconds / runs;
  state.counters["plain_s"] = plain.seconds / runs;
  state.counters["time_ratio"] = ours.seconds / plain.seconds;
  state.counters["gateway_B_per_tag"] = double(ours.bytes) / kBuildTags;
  state.counters["plain_B_per_tag"] = double(plain.bytes) / kBuildTags;
  state.counters["memory_ratio"] = double(ours.bytes) / double(plain.bytes);
}
BENCHMARK(BM_BuildAddressSpace100k)->Unit(benchmark::kSecond)->Iterations(8)->UseRealTime();

// Heap per tag of each part the server keeps for 100,000 tags, measured in
// one child: the configuration model (the tree of plain items), the engine
// (what the run-time items add to it, and the groups' polling lists and
// register images) and the address space (the gateway's nodes and index).
struct ComponentBytes {
  bool ok = false;
  size_t model = 0;
  size_t engine = 0;
  size_t addressSpace = 0;
};

ComponentBytes MeasureComponents() {
  const std::string text = MakeText(10, 100, 1000, kBuildTags);
  ComponentBytes bytes;
  size_t before = HeapInUse();
  {
    const CPlainItemFactory plainFactory;
    const auto plain = LoadTree(text, plainFactory);
    if (!plain) return bytes;
    bytes.model = HeapInUse() - before;
  }
  before = HeapInUse();
  const CServerItemFactory factory;
  const auto root = LoadTree(text, factory);
  if (!root) return bytes;
  PrepareItems(*root);
  std::vector<CGroup*> groups;
  for (CChannel* channel : ChildrenOf<CChannel>(*root))
    for (CDevice* device : channel->Devices())
      for (CGroup* group : device->Groups()) groups.push_back(group);
  for (CGroup* group : groups) group->StartPolling();
  bytes.engine = HeapInUse() - before - bytes.model;
  UA_UInt16 ns = 0;
  UA_Server* server = bench::NewLoopbackServer(4840, ns);
  NoExchange exchange;
  before = HeapInUse();
  Gateway gateway(server, ns, *root, factory, exchange);
  bytes.ok = gateway.DefineAddressSpace();
  bytes.addressSpace = HeapInUse() - before;
  for (CGroup* group : groups) group->StopPolling();
  return bytes;
}

void BM_MemoryByComponent100k(benchmark::State& state) {
  bench::OpenServerLog();
  ComponentBytes bytes;
  for (auto _ : state) {
    int channel[2];
    if (pipe(channel) != 0) return state.SkipWithError("no pipe");
    const pid_t child = fork();
    if (child == 0) {
      close(channel[0]);
      const ComponentBytes measured = MeasureComponents();
      _exit(write(channel[1], &measured, sizeof measured) == ssize_t(sizeof measured) ? 0 : 1);
    }
    close(channel[1]);
    if (child < 0 || read(channel[0], &bytes, sizeof bytes) != ssize_t(sizeof bytes)) bytes.ok = false;
    close(channel[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    if (!bytes.ok) return state.SkipWithError("a part failed to build or did not report");
  }
  state.counters["model_B_per_tag"] = double(bytes.model) / kBuildTags;
  state.counters["engine_B_per_tag"] = double(bytes.engine) / kBuildTags;
  state.counters["address_space_B_per_tag"] = double(bytes.addressSpace) / kBuildTags;
}
BENCHMARK(BM_MemoryByComponent100k)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// The gateway's nodes and, under "P." names, plain variables holding the
// same values in their nodes, on one server.
class ReadFixture {
 public:
  ReadFixture()
      : m_Root(MakeTree(1, 10, 100, 10000)),
        m_Served(*m_Root, m_Exchange, [this](UA_Server* server, UA_UInt16 ns) {
          const CItem& channel = *m_Root->Children().begin()->second;
          AddPlainValues(server, ns, channel, UA_NODEID_NUMERIC(0, UA_NS0ID_OBJECTSFOLDER));
          AddPlain(server, ns, channel, UA_NODEID_NUMERIC(0, UA_NS0ID_OBJECTSFOLDER), "S.");
        }) {
    for (const auto& [name, node] : m_Served.Gate().Callback().ItemIndex())
      if (node.item != nullptr && node.item->Kind() == kKindTag) {
        m_TagNames.push_back(name);
        // No exchange runs: each tag gets the first value a poll would
        // give it, or it reads as still waiting for one.
        auto* tag = static_cast<CDATag*>(node.item);
        UA_Variant value;
        UA_Variant_init(&value);
        uint32_t status = 0;
        tag->GetValue(value, status);
        tag->SetValueStatus(value, UA_STATUSCODE_GOOD);
      }
  }
  bool Ready() const { return m_Served.Ready() && m_TagNames.size() == 10000; }

  // One Read of every tag by the gateway's names with a prefix: none for the
  // gateway, "P." for plain variables, "S." for a bare data source on the
  // same tags. False unless every value is Good.
  bool ReadAll(const std::string& prefix) {
    std::vector<std::string> names;
    names.reserve(m_TagNames.size());
    for (const std::string& name : m_TagNames) names.push_back(prefix + name);
    std::vector<UA_ReadValueId> items(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      UA_ReadValueId_init(&items[i]);
      items[i].nodeId = UA_NODEID_STRING(2, const_cast<char*>(names[i].c_str()));
      items[i].attributeId = UA_ATTRIBUTEID_VALUE;
    }
    UA_ReadRequest request;
    UA_ReadRequest_init(&request);
    request.nodesToRead = items.data();
    request.nodesToReadSize = items.size();
    UA_ReadResponse response = UA_Client_Service_read(m_Served.Client(), request);
    bool good = response.responseHeader.serviceResult == UA_STATUSCODE_GOOD && response.resultsSize == items.size();
    for (size_t i = 0; good && i < response.resultsSize; ++i)
      good = response.results[i].hasValue &&
             (!response.results[i].hasStatus || response.results[i].status == UA_STATUSCODE_GOOD);
    UA_ReadResponse_clear(&response);
    return good;
  }

 private:
  static void AddPlainValues(UA_Server* server, UA_UInt16 ns, const CItem& item, const UA_NodeId& parent) {
    const std::string name = "P." + item.FullName();
    const UA_NodeId id = UA_NODEID_STRING(ns, const_cast<char*>(name.c_str()));
    if (auto* tag = dynamic_cast<const CDATag*>(&item)) {
      UA_VariableAttributes attributes = UA_VariableAttributes_default;
      attributes.displayName = UA_LocalizedText{UA_STRING(const_cast<char*>("ru-RU")), View(name)};
      uint32_t status = 0;
      tag->GetValue(attributes.value, status);
      attributes.dataType = tag->DataType()->typeId;
      attributes.accessLevel = UA_Byte(tag->AccessFlags());
      UA_Server_addVariableNode(server, id, parent, UA_NODEID_NUMERIC(0, UA_NS0ID_HASCOMPONENT),
                                UA_QualifiedName{ns, View(name)}, UA_NODEID_NUMERIC(0, UA_NS0ID_BASEDATAVARIABLETYPE),
                                attributes, nullptr, nullptr);
      UA_Variant_clear(&attributes.value);
      return;
    }
    UA_Server_addObjectNode(server, id, parent, UA_NODEID_NUMERIC(0, UA_NS0ID_ORGANIZES),
                            UA_QualifiedName{ns, View(name)}, UA_NODEID_NUMERIC(0, UA_NS0ID_FOLDERTYPE),
                            UA_ObjectAttributes_default, nullptr, nullptr);
    for (const auto& child : item.Children()) AddPlainValues(server, ns, *child.second, id);
  }

  std::unique_ptr<CTreeItemRoot> m_Root;
  NoExchange m_Exchange;
  bench::ServedGateway m_Served;
  std::vector<std::string> m_TagNames;
};

void BM_Read10000Values(benchmark::State& state) {
  ReadFixture fixture;
  if (!fixture.Ready()) return state.SkipWithError("the server or the client did not start");
  double seconds[3] = {0, 0, 0};
  const char* const prefixes[3] = {"", "P.", "S."};
  int first = 0;
  for (auto _ : state) {
    // Each kind goes first in turn, so no kind gains from the order.
    first = (first + 1) % 3;
    for (int step = 0; step < 3; ++step) {
      const int kind = (first + step) % 3;
      const auto start = Clock::now();
      if (!fixture.ReadAll(prefixes[kind])) return state.SkipWithError("a value was not Good");
      seconds[kind] += std::chrono::duration<double>(Clock::now() - start).count();
    }
  }
  const double runs = double(state.iterations());
  state.counters["gateway_ms"] = 1000 * seconds[0] / runs;
  state.counters["plain_ms"] = 1000 * seconds[1] / runs;
  state.counters["time_ratio"] = seconds[0] / seconds[1];
  // A data source that only copies the value; the library stamps each such
  // value with the time of the read, which the gateway's values do not need.
  state.counters["bare_source_ms"] = 1000 * seconds[2] / runs;
}
BENCHMARK(BM_Read10000Values)->Unit(benchmark::kMillisecond)->Iterations(30)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
