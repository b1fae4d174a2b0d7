#include "soak_client.h"

#include <modbus/modbus.h>
#include <open62541/client_subscriptions.h>

#include <memory>
#include <random>
#include <thread>

#include "opcua_client.h"
#include "ua_calls.h"

namespace virk::soak {

using namespace virk::server::test;
using Clock = std::chrono::steady_clock;

std::string DeviceName(int c) { return "Channel_" + std::to_string(c) + ".Device_" + std::to_string(c); }
std::string TagName(int c, int g, int t) {
  const int group = c * kGroupsPerChannel + g;
  return DeviceName(c) + ".Group_" + std::to_string(group) + ".Tag_" + std::to_string(group * kTagsPerGroup + t);
}

namespace {

constexpr double kCallLimitSeconds = 5.0;
constexpr long kMaxSessionsPerClient = 1000000;

struct ModbusClose {
  void operator()(modbus_t* context) const {
    modbus_close(context);
    modbus_free(context);
  }
};
using ModbusLink = std::unique_ptr<modbus_t, ModbusClose>;

class SoakClient {
 public:
  SoakClient(const SoakClientSetup& setup, SoakTotals& totals)
      : m_Setup(setup), m_Totals(totals), m_Random(std::random_device{}() + unsigned(setup.index)) {
    for (uint16_t port : setup.healthyPorts) {
      ModbusLink link(modbus_new_tcp("127.0.0.1", port));
      if (link) modbus_set_response_timeout(link.get(), 5, 0);
      if (link && modbus_connect(link.get()) != 0) link.reset();
      m_Slaves.push_back(std::move(link));
    }
  }

  void Run() {
    for (long n = 0; n < kMaxSessionsPerClient && Clock::now() < m_Setup.deadline; ++n) Session(n);
  }

 private:
  // Times one client call: slower than the limit, or no answer at all, is a deadlock.
  // A write may answer BadTimeout itself (the device did not answer): only
  // the time then tells a hang.
  template <typename Call>
  auto Timed(Call call, bool timeoutIsAnAnswer = false) {
    const auto start = Clock::now();
    auto result = call();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    double slowest = m_Totals.slowestCallSeconds.load();
    while (seconds > slowest && !m_Totals.slowestCallSeconds.compare_exchange_weak(slowest, seconds)) {
    }
    if (seconds > kCallLimitSeconds || (!timeoutIsAnAnswer && StatusOf(result) == UA_STATUSCODE_BADTIMEOUT))
      ++m_Totals.deadlocks;
    return result;
  }
  static UA_StatusCode StatusOf(UA_StatusCode status) { return status; }
  static UA_StatusCode StatusOf(const std::pair<UA_StatusCode, std::string>& call) { return call.first; }
  static UA_StatusCode StatusOf(const UA_CreateSubscriptionResponse& r) { return r.responseHeader.serviceResult; }
  static UA_StatusCode StatusOf(const UA_MonitoredItemCreateResult& r) { return r.statusCode; }

  int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(m_Random); }

  void Session(long n) {
    OpcUaClient client;
    UA_Client_getConfig(client.get())->timeout = UA_UInt32(kCallLimitSeconds * 1000);
    if (Timed([&] { return UA_Client_connect(client.get(), m_Setup.url.c_str()); }) != UA_STATUSCODE_GOOD) {
      ++m_Totals.connectFailures;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return;
    }
    ++m_Totals.sessionsOpened;
    Subscribe(client.get());
    for (int i = 0; i < 5; ++i) ReadGroup(client.get());
    for (int i = 0; i < 3; ++i) WriteAndCheck(client.get());
    WriteToFaultyDevice(client.get());
    EditOwnGroup(client.get(), n);
    for (int i = 0; i < 3; ++i) Timed([&] { return UA_Client_run_iterate(client.get(), 100); });
    Timed([&] { return UA_Client_disconnect(client.get()); });
    ++m_Totals.sessionsClosed;
  }

  void Subscribe(UA_Client* client) {
    const UA_CreateSubscriptionResponse subscription = Timed([&] {
      return UA_Client_Subscriptions_create(client, UA_CreateSubscriptionRequest_default(), nullptr, nullptr, nullptr);
    });
    if (subscription.responseHeader.serviceResult != UA_STATUSCODE_GOOD) return;
    const int c = Pick(kChannels), g = Pick(kGroupsPerChannel);
    for (int t = 0; t < 5; ++t) {
      const std::string name = TagName(c, g, t * 20);
      UA_MonitoredItemCreateResult item = Timed([&] {
        return UA_Client_MonitoredItems_createDataChange(
            client, subscription.subscriptionId, UA_TIMESTAMPSTORETURN_BOTH,
            UA_MonitoredItemCreateRequest_default(GatewayNode(name)), &m_Totals,
            [](UA_Client*, UA_UInt32, void*, UA_UInt32, void* context, UA_DataValue*) {
              ++static_cast<SoakTotals*>(context)->notifications;
            },
            nullptr);
      });
      UA_MonitoredItemCreateResult_clear(&item);
    }
  }

  // The 100 tags of a group in one request.
  void ReadGroup(UA_Client* client) {
    const int c = Pick(kChannels), g = Pick(kGroupsPerChannel);
    std::vector<std::string> names;
    std::vector<UA_ReadValueId> items(kTagsPerGroup);
    for (int t = 0; t < kTagsPerGroup; ++t) names.push_back(TagName(c, g, t));
    for (int t = 0; t < kTagsPerGroup; ++t) {
      UA_ReadValueId_init(&items[size_t(t)]);
      items[size_t(t)].nodeId = GatewayNode(names[size_t(t)]);
      items[size_t(t)].attributeId = UA_ATTRIBUTEID_VALUE;
    }
    UA_ReadRequest request;
    UA_ReadRequest_init(&request);
    request.nodesToRead = items.data();
    request.nodesToReadSize = items.size();
    UA_ReadResponse response;
    Timed([&] {
      response = UA_Client_Service_read(client, request);
      return response.responseHeader.serviceResult;
    });
    UA_ReadResponse_clear(&response);
    ++m_Totals.reads;
  }

  // A tag of a group that only this client writes, on a healthy channel; a
  // write answered Good must be in the slave's register at once, since the
  // server runs it before answering.
  void WriteAndCheck(UA_Client* client) {
    const int ownedGroups = (kHealthyChannels * kGroupsPerChannel - m_Setup.index + m_Setup.clients - 1) / m_Setup.clients;
    if (ownedGroups <= 0) return;
    const int healthyGroup = m_Setup.index + m_Setup.clients * Pick(ownedGroups);
    const int c = healthyGroup / kGroupsPerChannel, g = healthyGroup % kGroupsPerChannel, t = Pick(kTagsPerGroup);
    const UA_UInt16 value = UA_UInt16(1000 + Pick(60000));  // "Цел16" is unsigned
    const UA_StatusCode status = Timed(
        [&] { return WriteScalar<UA_UInt16>(client, TagName(c, g, t), value, &UA_TYPES[UA_TYPES_UINT16]); }, true);
    ++m_Totals.writes;
    if (status != UA_STATUSCODE_GOOD) return;
    ++m_Totals.writesGood;
    uint16_t stored = 0;
    modbus_t* slave = m_Slaves[size_t(c)].get();
    if (!slave || modbus_read_registers(slave, g * kTagsPerGroup + t, 1, &stored) != 1)
      ++m_Totals.writesUnchecked;
    else if (stored != value)
      ++m_Totals.writesLost;
  }

  // Only every tenth client: each such write may hold the server thread for
  // a response time-out, and all clients wait behind it.
  void WriteToFaultyDevice(UA_Client* client) {
    if (m_Setup.index % 10 != 0) return;
    const int c = kHealthyChannels + Pick(kFaultyChannels), g = Pick(kGroupsPerChannel), t = Pick(kTagsPerGroup);
    const uint16_t value = m_Totals.nextFaultyValue++;
    const UA_StatusCode status = Timed(
        [&] { return WriteScalar<UA_UInt16>(client, TagName(c, g, t), value, &UA_TYPES[UA_TYPES_UINT16]); }, true);
    ++m_Totals.faultyWrites;
    if (status == UA_STATUSCODE_GOOD || status == UA_STATUSCODE_BADTIMEOUT || value == 0) return;
    std::lock_guard<std::mutex> lock(m_Totals.refusedLock);
    m_Totals.refused.push_back({c - kHealthyChannels, value, Clock::now()});
  }

  // A group with one tag under a healthy device, changed and deleted again.
  void EditOwnGroup(UA_Client* client, long n) {
    const std::string device = DeviceName(m_Setup.index % kHealthyChannels);
    const std::string group = "Soak_" + std::to_string(m_Setup.index) + "_" + std::to_string(n);
    const std::string path = device + "." + group;
    const std::string address = std::to_string(1 + Pick(999));
    const std::pair<const char*, std::string> calls[] = {
        {"addNode", device + ";3;" + group + ";1000;0"},
        {"addNode", path + ";4;T;3;" + address + ";2;0;1;1;1;0;0;0;0;0;0"},
        {"editNode", path + ";3;" + group + ";500;0"},
        {"deleteNode", path},
    };
    for (const auto& [method, input] : calls) {
      const auto result = Timed([&] { return CallMethod(client, method, input); });
      ++m_Totals.methodCalls;
      if (result.first != UA_STATUSCODE_GOOD || result.second != "Success") ++m_Totals.methodsFailed;
    }
  }

  const SoakClientSetup& m_Setup;
  SoakTotals& m_Totals;
  std::mt19937 m_Random;
  std::vector<ModbusLink> m_Slaves;
};

}  // namespace

void RunSoakClient(const SoakClientSetup& setup, SoakTotals& totals) { SoakClient(setup, totals).Run(); }

}  // namespace virk::soak
