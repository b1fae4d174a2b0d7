// One OPC UA client of the soak: sessions opened and closed in a loop, each
// subscribing, reading, writing (every Good write checked in the slave's
// registers) and adding, changing and deleting a group of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace virk::soak {

constexpr int kChannels = 10;
constexpr int kFaultyChannels = 3;  // the last ones; the others are healthy
constexpr int kHealthyChannels = kChannels - kFaultyChannels;
constexpr int kGroupsPerChannel = 10;
constexpr int kTagsPerGroup = 100;
constexpr uint32_t kPeriodMs = 1000;

// Generated names: groups and tags are numbered over the whole file; tag t
// of group g of channel c is holding register 100 g + t of its slave.
std::string DeviceName(int c);
std::string TagName(int c, int g, int t);

// Counters shared by every client thread.
struct SoakTotals {
  std::atomic<long> sessionsOpened{0}, sessionsClosed{0}, connectFailures{0};
  std::atomic<long> reads{0}, writes{0}, writesGood{0}, writesLost{0};
  std::atomic<long> writesUnchecked{0};  // the slave's register could not be read back
  std::atomic<long> methodCalls{0}, methodsFailed{0}, notifications{0};
  std::atomic<long> deadlocks{0};
  std::atomic<double> slowestCallSeconds{0};
  // Writes to the faulty devices, each with a value of its own; those the
  // server refused (nothing but Good or BadTimeout, the unknown outcome)
  // must never reach the slave after the answer.
  std::atomic<long> faultyWrites{0};
  std::atomic<uint16_t> nextFaultyValue{1};
  struct Refused {
    int channel;
    uint16_t value;
    std::chrono::steady_clock::time_point answered;
  };
  std::mutex refusedLock;
  std::vector<Refused> refused;
};

struct SoakClientSetup {
  int index = 0;
  int clients = 1;
  std::string url;
  std::vector<uint16_t> healthyPorts;  // slave port of each healthy channel
  std::chrono::steady_clock::time_point deadline;
};

// Runs sessions until the deadline (and at most a bounded count of them).
void RunSoakClient(const SoakClientSetup& setup, SoakTotals& totals);

}  // namespace virk::soak
