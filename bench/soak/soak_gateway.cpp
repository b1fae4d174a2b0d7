// Soak of the server program under faults and load: 10 TCP channels with
// 10,000 tags against slaves on loopback (seven healthy libmodbus slaves in a
// child process, three fault-injecting slaves that drop connections, go
// silent, send garbage and bad checksums, then recover), and client threads
// that open and close sessions in a loop, subscribe, read, write and edit
// items of their own. Every check prints its figure; a broken one fails the
// exit code. --seconds N (default 60), --clients N (default 20).
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/polled_configuration.h"
#include "fake_tcp_slave.h"
#include "generator.h"
#include "libmodbus_slave_process.h"
#include "loopback_listener.h"
#include "opcua_client.h"
#include "server_process.h"
#include "soak_client.h"
#include "temp_folder.h"
#include "test_config.h"
#include "ua_calls.h"

namespace {

using namespace virk;
using namespace virk::soak;
using namespace virk::server::test;
using virk::test::FakeTcpSlave;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The generated channels' connection time-out, response time-out and attempts.
constexpr double kConnectSeconds = 5.0;
constexpr double kRequestSeconds = 3 * 1.0;
// One reconnect: the connection time-out and one request with its attempts.
constexpr double kRecoveryLimitSeconds = 2.0 * kPeriodMs / 1000 + kConnectSeconds + kRequestSeconds;

// A number from /proc/<pid>/status ("VmRSS", "Threads"), or -1.
long ProcStatus(pid_t pid, const std::string& key) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(file, line);)
    if (line.compare(0, key.size() + 1, key + ":") == 0) return std::atol(line.c_str() + key.size() + 1);
  return -1;
}

// The fault channels speak Modbus RTU over TCP, so that checksums can be broken.
std::string WithRtuChannels(std::string text, const std::vector<uint16_t>& ports) {
  for (uint16_t port : ports) {
    const size_t at = text.find(";127.0.0.1;" + std::to_string(port) + ";");
    const size_t lineStart = text.rfind('\n', at) + 1;
    const size_t protocol = text.find("MODBUS TCP", lineStart);
    if (at != std::string::npos && protocol < at) text.replace(protocol, 10, "MODBUS RTU");
  }
  return text;
}

bool WriteConfiguration(const std::string& path, const std::vector<uint16_t>& ports,
                        const std::vector<uint16_t>& faultPorts, uint16_t opcuaPort, std::string& error) {
  return bench::WritePolledConfiguration(path, kChannels, kGroupsPerChannel, kTagsPerGroup, kPeriodMs, ports,
                                         opcuaPort, error,
                                         [&](std::string text) { return WithRtuChannels(std::move(text), faultPorts); });
}

// Tags read in requests of one channel each; `counted(value, register)` says
// which to count.
template <typename Counted>
int CountTags(UA_Client* client, int firstChannel, int channels, Counted counted) {
  int count = 0;
  for (int c = firstChannel; c < firstChannel + channels; ++c) {
    std::vector<std::string> names;
    for (int g = 0; g < kGroupsPerChannel; ++g)
      for (int t = 0; t < kTagsPerGroup; ++t) names.push_back(TagName(c, g, t));
    std::vector<UA_ReadValueId> items(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      UA_ReadValueId_init(&items[i]);
      items[i].nodeId = GatewayNode(names[i]);
      items[i].attributeId = UA_ATTRIBUTEID_VALUE;
    }
    UA_ReadRequest request;
    UA_ReadRequest_init(&request);
    request.nodesToRead = items.data();
    request.nodesToReadSize = items.size();
    UA_ReadResponse response = UA_Client_Service_read(client, request);
    for (size_t i = 0; i < response.resultsSize; ++i) count += counted(response.results[i], int(i)) ? 1 : 0;
    UA_ReadResponse_clear(&response);
  }
  return count;
}

bool IsGood(const UA_DataValue& value) { return value.hasValue && (!value.hasStatus || value.status == UA_STATUSCODE_GOOD); }

// Good with the slave's own contents: register i holds i.
bool IsPolled(const UA_DataValue& value, int reg) {
  return IsGood(value) && UA_Variant_hasScalarType(&value.value, &UA_TYPES[UA_TYPES_UINT16]) &&
         *static_cast<const UA_UInt16*>(value.value.data) == reg;
}

constexpr int kAllTags = kChannels * kGroupsPerChannel * kTagsPerGroup;
constexpr int kFaultyTags = kFaultyChannels * kGroupsPerChannel * kTagsPerGroup;

// Seconds until `done()` holds, or a negative number past `limit`.
template <typename Done>
double SecondsUntil(Done done, std::chrono::duration<double> limit) {
  const auto start = Clock::now();
  while (Clock::now() - start < limit) {
    if (done()) return std::chrono::duration<double>(Clock::now() - start).count();
    std::this_thread::sleep_for(100ms);
  }
  return -1;
}

// Each faulty slave misbehaves for 1 to 3 s at random, then answers for 2 to 4 s.
void InjectFaults(std::vector<std::unique_ptr<FakeTcpSlave>>& slaves, Clock::time_point deadline,
                  std::atomic<long>& faults) {
  static const FakeTcpSlave::Behaviour kFaults[] = {
      FakeTcpSlave::Behaviour::kCloseConnection, FakeTcpSlave::Behaviour::kSilent,
      FakeTcpSlave::Behaviour::kGarbage, FakeTcpSlave::Behaviour::kBadChecksum};
  std::mt19937 random(std::random_device{}());
  std::vector<Clock::time_point> next(slaves.size(), Clock::now());
  std::vector<bool> faulty(slaves.size(), false);
  while (Clock::now() < deadline) {
    for (size_t i = 0; i < slaves.size(); ++i) {
      if (Clock::now() < next[i]) continue;
      faulty[i] = !faulty[i];
      slaves[i]->SetBehaviour(faulty[i] ? kFaults[random() % std::size(kFaults)] : FakeTcpSlave::Behaviour::kAnswer);
      if (faulty[i]) ++faults;
      next[i] = Clock::now() + std::chrono::milliseconds(faulty[i] ? 1000 + random() % 2000 : 2000 + random() % 2000);
    }
    std::this_thread::sleep_for(50ms);
  }
  for (auto& slave : slaves) slave->SetBehaviour(FakeTcpSlave::Behaviour::kAnswer);
}

int g_Failed = 0;

void Check(bool ok, const std::string& what, const std::string& figure) {
  std::printf("%-6s %-58s %s\n", ok ? "ok" : "FAILED", what.c_str(), figure.c_str());
  if (!ok) ++g_Failed;
}

int Soak(double seconds, int clients) {
  std::vector<uint16_t> healthyPorts;
  const pid_t slaveProcess = virk::test::StartLibmodbusSlaveProcess(kHealthyChannels, healthyPorts);
  if (slaveProcess < 0) return std::fprintf(stderr, "the healthy slaves did not start\n"), 2;
  struct SlaveStop {
    pid_t pid;
    ~SlaveStop() { virk::test::StopSlaveProcess(pid); }
  } slaveStop{slaveProcess};
  std::vector<std::unique_ptr<FakeTcpSlave>> faultySlaves;
  std::vector<uint16_t> faultPorts;
  for (int i = 0; i < kFaultyChannels; ++i) {
    faultySlaves.push_back(std::make_unique<FakeTcpSlave>(true));
    if (!faultySlaves.back()->Start()) return std::fprintf(stderr, "a faulty slave did not start\n"), 2;
    faultPorts.push_back(faultySlaves.back()->Port());
  }
  std::vector<uint16_t> ports = healthyPorts;
  ports.insert(ports.end(), faultPorts.begin(), faultPorts.end());

  TempFolder home;
  const uint16_t opcuaPort = virk::test::ClosedLoopbackPort();
  std::string error;
  if (!WriteConfiguration(home / "soak.cfg", ports, faultPorts, opcuaPort, error))
    return std::fprintf(stderr, "configuration: %s\n", error.c_str()), 2;
  ServerProcess server(VIRK_SERVER_PROGRAM, {home / "soak.cfg"}, home.Path(), home / "output.txt");
  if (!server.Started() || !WaitUntilServing(opcuaPort, 30s))
    return std::fprintf(stderr, "the server did not serve: %s\n", server.Output().c_str()), 2;
  const pid_t pid = server.Pid();
  const long threadsAtStart = ProcStatus(pid, "Threads");

  // A watching session keeps the exchange running until the recovery is checked.
  // The faulty slaves keep silent at first: none of their tags may read Good
  // before they have answered.
  for (auto& slave : faultySlaves) slave->SetBehaviour(FakeTcpSlave::Behaviour::kSilent);
  OpcUaClient watcher;
  UA_Client_getConfig(watcher.get())->timeout = 20000;
  if (!Connect(watcher, LoopbackUrl(opcuaPort))) return std::fprintf(stderr, "no watching session\n"), 2;
  long goodBeforeAnswer = 0, readsBeforeAnswer = 0;
  for (const auto until = Clock::now() + 1500ms; Clock::now() < until; ++readsBeforeAnswer)
    goodBeforeAnswer += CountTags(watcher.get(), kHealthyChannels, kFaultyChannels,
                                  [](const UA_DataValue& v, int) { return IsGood(v); });
  for (auto& slave : faultySlaves) slave->SetBehaviour(FakeTcpSlave::Behaviour::kAnswer);
  const double firstPoll =
      SecondsUntil([&] { return CountTags(watcher.get(), 0, kChannels, IsPolled) == kAllTags; }, 60s);
  if (firstPoll < 0) return std::fprintf(stderr, "the tags did not all hold their slaves' values within 60 s\n"), 2;
  std::printf("all 10,000 tags Good with their slaves' values %.1f s after the first session\n", firstPoll);

  SoakTotals totals;
  std::atomic<long> faults{0};
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  std::thread injector([&] { InjectFaults(faultySlaves, deadline, faults); });
  std::vector<SoakClientSetup> setups(static_cast<size_t>(clients));
  std::vector<std::thread> threads;
  for (int k = 0; k < clients; ++k) {
    setups[size_t(k)] = {k, clients, LoopbackUrl(opcuaPort), healthyPorts, deadline};
    threads.emplace_back([&, k] { RunSoakClient(setups[size_t(k)], totals); });
  }
  // Warm-up: a fifth of the run, between 5 s and 2 min.
  const double warmUp = std::clamp(seconds / 5, 5.0, 120.0);
  std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(warmUp)));
  const long rssWarm = ProcStatus(pid, "VmRSS");
  const long threadsPolling = ProcStatus(pid, "Threads");
  for (auto& thread : threads) thread.join();
  injector.join();
  const long rssEnd = ProcStatus(pid, "VmRSS");
  const bool aliveAfterLoad = kill(pid, 0) == 0 && server.WaitForExit(0ms) == ServerProcess::kStillRunning;
  // Late requests the slaves still hold have arrived by now.
  std::this_thread::sleep_for(1s);
  long ghostWrites = 0;
  for (const auto& refused : totals.refused)
    if (faultySlaves[size_t(refused.channel)]->WrittenAfter(refused.value, refused.answered)) ++ghostWrites;

  // A last fault on every faulty slave, until all their tags show it; then
  // they answer again and every tag must come back.
  for (auto& slave : faultySlaves) slave->SetBehaviour(FakeTcpSlave::Behaviour::kGarbage);
  auto faultyNotGood = [&] { return CountTags(watcher.get(), kHealthyChannels, kFaultyChannels, [](const UA_DataValue& v, int) { return !IsGood(v); }); };
  const double faultSeen = aliveAfterLoad ? SecondsUntil([&] { return faultyNotGood() == kFaultyTags; }, 30s) : -1;
  const int badBeforeRecovery = faultyNotGood();
  for (auto& slave : faultySlaves) slave->SetBehaviour(FakeTcpSlave::Behaviour::kAnswer);
  const double recovery =
      aliveAfterLoad
          ? SecondsUntil([&] { return CountTags(watcher.get(), 0, kChannels, [](const UA_DataValue& v, int) { return IsGood(v); }) == kAllTags; }, 30s)
          : -1;
  UA_Client_disconnect(watcher.get());  // the last session: the exchange stops
  long threadsAfter = -1;
  for (auto until = Clock::now() + 15s; aliveAfterLoad && Clock::now() < until; std::this_thread::sleep_for(100ms))
    if ((threadsAfter = ProcStatus(pid, "Threads")) == threadsAtStart) break;
  const int exitCode = aliveAfterLoad ? server.StopWith(SIGTERM, 15s) : ServerProcess::kKilledBySignal;

  const long crashes = aliveAfterLoad && exitCode == 0 ? 0 : 1;
  std::printf("\nsoak of %.0f s with %d clients\n", seconds, clients);
  std::printf("sessions opened %ld, closed %ld, connect failures %ld\n", totals.sessionsOpened.load(),
              totals.sessionsClosed.load(), totals.connectFailures.load());
  std::printf("reads %ld (of 100 tags each), writes %ld (Good %ld), method calls %ld (Failed %ld), "
              "notifications %ld\n",
              totals.reads.load(), totals.writes.load(), totals.writesGood.load(), totals.methodCalls.load(),
              totals.methodsFailed.load(), totals.notifications.load());
  std::printf("faults injected %ld, crashes %ld, deadlocks %ld, writes lost %ld\n", faults.load(), crashes,
              totals.deadlocks.load(), totals.writesLost.load());
  std::printf("memory (VmRSS) at warm-up (%.0f s) %ld kB, at end %ld kB\n\n", warmUp, rssWarm, rssEnd);

  Check(crashes == 0, "no crash (alive under load, exit 0 on SIGTERM)",
        "alive " + std::string(aliveAfterLoad ? "yes" : "no") + ", exit " + std::to_string(exitCode));
  Check(totals.deadlocks == 0, "no deadlock (every call answered within 5 s)",
        std::to_string(totals.deadlocks.load()) + " late, slowest " +
            std::to_string(totals.slowestCallSeconds.load()) + " s");
  const double growth = rssWarm > 0 ? 100.0 * double(rssEnd - rssWarm) / double(rssWarm) : 100;
  Check(rssWarm > 0 && rssEnd > 0 && growth < 5, "resident memory after warm-up grows < 5 %",
        std::to_string(growth) + " %");
  Check(threadsAfter == threadsAtStart, "thread count back to its start after the exchange stops",
        std::to_string(threadsAtStart) + " (" + std::to_string(threadsPolling) + " while polling) -> " +
            std::to_string(threadsAfter));
  Check(totals.writesGood > 0 && totals.writesLost == 0 && totals.writesUnchecked == 0,
        "every Good write is in the slave's register",
        std::to_string(totals.writesLost.load()) + " lost, " + std::to_string(totals.writesUnchecked.load()) +
            " not read back, of " + std::to_string(totals.writesGood.load()));
  Check(readsBeforeAnswer > 0 && goodBeforeAnswer == 0, "no tag of a device that has not answered yet reads Good",
        std::to_string(goodBeforeAnswer) + " Good in " + std::to_string(readsBeforeAnswer) + " reads of 3,000 tags");
  Check(totals.faultyWrites > 0 && ghostWrites == 0, "no write answered with a failure reaches a slave afterwards",
        std::to_string(ghostWrites) + " of " + std::to_string(totals.refused.size()) + " refused, of " +
            std::to_string(totals.faultyWrites.load()) + " writes to faulty devices");
  Check(faultSeen >= 0 && badBeforeRecovery == kFaultyTags, "a fault shows on every tag of the faulty slaves",
        std::to_string(badBeforeRecovery) + " of " + std::to_string(kFaultyTags) + " not Good after " +
            std::to_string(faultSeen) + " s");
  Check(recovery >= 0 && recovery <= kRecoveryLimitSeconds, "every tag Good again after the faulty slaves recover",
        (recovery < 0 ? std::string("not within 30 s") : std::to_string(recovery) + " s") + " (limit " +
            std::to_string(kRecoveryLimitSeconds) + " s)");
  Check(totals.sessionsOpened > 0 && totals.sessionsOpened == totals.sessionsClosed && totals.methodsFailed == 0,
        "sessions all closed, every method answered Success",
        std::to_string(totals.methodsFailed.load()) + " methods Failed");
  return g_Failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 60;
  int clients = 20;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
      seconds = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--clients") == 0 && hasValue) {
      clients = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: soak_gateway [--seconds N] [--clients N]\n");
      return 2;
    }
  }
  if (seconds < 10 || seconds > 24 * 3600 || clients < 1 || clients > 200) {
    std::fprintf(stderr, "--seconds takes 10 to 86400, --clients 1 to 200\n");
    return 2;
  }
  return Soak(seconds, clients);
}
