// Processor time of the server program polling 10,000 tags at a 1 s period
// on 10 TCP channels (one device each, ten groups of 100 holding registers),
// against libmodbus slaves on loopback in a child process of their own. The
// server runs as a child too, with its own HOME; one client session starts
// its exchange. Its utime + stime come from /proc/<pid>/stat over the window
// (60 s; --seconds N to shorten), reported as percent of one core.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
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
#include "test_config.h"
#include "ua_calls.h"

namespace {

using namespace virk;
using namespace virk::server::test;
using virk::test::StartLibmodbusSlaveProcess;
using virk::test::StopSlaveProcess;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using virk::bench::ProcessCpuSeconds;

constexpr int kChannels = 10;
constexpr int kGroupsPerChannel = 10;
constexpr int kTagsPerGroup = 100;
constexpr uint32_t kPeriodMs = 1000;

double g_Seconds = 60;

// Generated names: groups and tags are numbered over the whole file; tag t of
// group g of channel c reads holding register 100 g + t, which the slave
// holds as that same number.
std::string DeviceName(int c) { return "Channel_" + std::to_string(c) + ".Device_" + std::to_string(c); }
std::string TagName(int c, int g, int t) {
  const int group = c * kGroupsPerChannel + g;
  return DeviceName(c) + ".Group_" + std::to_string(group) + ".Tag_" + std::to_string(group * kTagsPerGroup + t);
}

struct SampleTag {
  std::string name;
  long expected;
};

// The first tag of the first group and the last of the last, on every channel.
std::vector<SampleTag> SampleTags() {
  std::vector<SampleTag> tags;
  for (int c = 0; c < kChannels; ++c) {
    tags.push_back({TagName(c, 0, 0), 0});
    tags.push_back({TagName(c, kGroupsPerChannel - 1, kTagsPerGroup - 1), long(kGroupsPerChannel * kTagsPerGroup - 1)});
  }
  return tags;
}

UA_StatusCode ValueStatus(const ReadResult& read) {
  if (read.service != UA_STATUSCODE_GOOD) return read.service;
  return read.value.hasStatus ? read.value.status : UA_STATUSCODE_GOOD;
}

// Empty when the tag is Good with its slave's value, else what it holds.
std::string SampleProblem(UA_Client* client, const SampleTag& tag) {
  ReadResult read;
  Read(client, tag.name, UA_ATTRIBUTEID_VALUE, read);
  const UA_StatusCode status = ValueStatus(read);
  long value = -1;
  if (read.Type() == &UA_TYPES[UA_TYPES_INT16]) value = read.Scalar<UA_Int16>();
  if (read.Type() == &UA_TYPES[UA_TYPES_UINT16]) value = read.Scalar<UA_UInt16>();
  if (status == UA_STATUSCODE_GOOD && value == tag.expected) return {};
  return tag.name + ": " + UA_StatusCode_name(status) + ", value " + std::to_string(value) + " (expected " +
         std::to_string(tag.expected) + ")";
}

// Empty when every sample is Good with its slave's value, else the first that is not.
std::string SamplesProblem(UA_Client* client, const std::vector<SampleTag>& tags) {
  for (const SampleTag& tag : tags)
    if (std::string problem = SampleProblem(client, tag); !problem.empty()) return problem;
  return {};
}

int GoodSampleCount(UA_Client* client, const std::vector<SampleTag>& tags) {
  int good = 0;
  for (const SampleTag& tag : tags) good += SampleProblem(client, tag).empty() ? 1 : 0;
  return good;
}

// Seconds since the device's "_ScanTime" was last set by a poll, or a
// negative number when it is not Good.
double ScanTimeAge(UA_Client* client, int c) {
  ReadResult read;
  Read(client, DeviceName(c) + "._ScanTime", UA_ATTRIBUTEID_VALUE, read);
  if (ValueStatus(read) != UA_STATUSCODE_GOOD || !read.value.hasSourceTimestamp) return -1;
  return double(UA_DateTime_now() - read.value.sourceTimestamp) / UA_DATETIME_SEC;
}

bool WriteConfiguration(const std::string& path, const std::vector<uint16_t>& slavePorts, uint16_t opcuaPort,
                        std::string& error) {
  return bench::WritePolledConfiguration(path, kChannels, kGroupsPerChannel, kTagsPerGroup, kPeriodMs, slavePorts,
                                         opcuaPort, error);
}

void BM_ServerPolling10000Tags(benchmark::State& state) {
  TempFolder home;
  std::vector<uint16_t> slavePorts;
  const pid_t slaves = StartLibmodbusSlaveProcess(kChannels, slavePorts);
  if (slaves < 0) return state.SkipWithError("the slaves did not start");
  struct SlaveStop {
    pid_t pid;
    ~SlaveStop() { StopSlaveProcess(pid); }
  } slaveStop{slaves};

  const uint16_t opcuaPort = virk::test::ClosedLoopbackPort();
  std::string error;
  if (!WriteConfiguration(home / "cpu.cfg", slavePorts, opcuaPort, error))
    return state.SkipWithError(("configuration: " + error).c_str());
  ServerProcess server(VIRK_SERVER_PROGRAM, {home / "cpu.cfg"}, home.Path(), home / "output.txt");
  if (!server.Started() || !WaitUntilServing(opcuaPort, 30s))
    return state.SkipWithError(("the server did not serve: " + server.Output()).c_str());

  OpcUaClient client;  // its session starts the exchange
  if (!Connect(client, LoopbackUrl(opcuaPort))) return state.SkipWithError("no client session");
  const std::vector<SampleTag> samples = SampleTags();
  const auto pollDeadline = Clock::now() + 30s;
  std::string problem = SamplesProblem(client.get(), samples);
  for (; !problem.empty() && Clock::now() < pollDeadline; problem = SamplesProblem(client.get(), samples))
    std::this_thread::sleep_for(200ms);
  if (!problem.empty()) return state.SkipWithError(("not polled within 30 s: " + problem).c_str());
  std::this_thread::sleep_for(2s);  // past the first connects and reads

  for (auto _ : state) {
    const double cpuStart = ProcessCpuSeconds(server.Pid());
    const auto wallStart = Clock::now();
    // The session stays open, the client tending it once a second.
    while (Clock::now() - wallStart < std::chrono::duration<double>(g_Seconds)) {
      UA_Client_run_iterate(client.get(), 0);
      std::this_thread::sleep_for(std::min<std::chrono::duration<double>>(
          1s, std::chrono::duration<double>(g_Seconds) - (Clock::now() - wallStart)));
    }
    const double cpuEnd = ProcessCpuSeconds(server.Pid());
    const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    state.SetIterationTime(wall);
    if (cpuStart < 0 || cpuEnd < 0) return state.SkipWithError("the server process ended");
    state.counters["cpu_percent_of_one_core"] = 100.0 * (cpuEnd - cpuStart) / wall;
  }

  // Polled through the window: every device's "_ScanTime" was set within the
  // last two periods, and the sample tags still hold their slaves' values.
  int devicesPolled = 0;
  for (int c = 0; c < kChannels; ++c) {
    const double age = ScanTimeAge(client.get(), c);
    if (age >= 0 && age < 2.0 * kPeriodMs / 1000) ++devicesPolled;
  }
  state.counters["devices_polled_last_2s"] = devicesPolled;
  state.counters["sample_tags_good"] = GoodSampleCount(client.get(), samples);
  state.counters["sample_tags"] = double(samples.size());
  UA_Client_disconnect(client.get());
  if (server.StopWith(SIGTERM, 10s) == ServerProcess::kStillRunning) server.StopWith(SIGKILL, 5s);
}

}  // namespace

int main(int argc, char** argv) {
  // --seconds N shortens the window; the rest goes to the benchmark library.
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      g_Seconds = std::atof(argv[++i]);
      if (g_Seconds <= 0 || g_Seconds > 3600) {
        std::fprintf(stderr, "--seconds takes 1 to 3600\n");
        return 2;
      }
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = int(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  benchmark::RegisterBenchmark("BM_ServerPolling10000Tags", BM_ServerPolling10000Tags)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kSecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
