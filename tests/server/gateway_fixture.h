// An OPC UA server inside the test process on 127.0.0.1 and a free port,
// publishing a tree the test builds, with the management methods; its loop
// runs on a thread of its own, paused whenever the test looks at the tree.
#pragma once

#include <open62541/plugin/accesscontrol_default.h>
#include <open62541/server_config_default.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/item.h"
#include "loopback_listener.h"
#include "opcua_client.h"
#include "server/compact_nodestore.h"
#include "server/exchange/server_item_factory.h"
#include "server/gateway.h"
#include "server/server_context.h"
#include "server/session_hooks.h"
#include "test_config.h"

namespace virk::server::test {

// Stands in for the engine where a test only counts starts and stops.
class CountingExchange : public ExchangeControl {
 public:
  bool IsStarted() const override { return m_Started; }
  void StartExchange() override {
    if (!m_Started) ++m_Starts;
    m_Started = true;
  }
  void StopExchange() override {
    ++m_Stops;
    m_Started = false;
  }
  std::atomic<bool> m_Started{false};
  std::atomic<int> m_Starts{0}, m_Stops{0};
};

class InProcessGateway {
 public:
  using Logins = std::vector<std::pair<std::string, std::string>>;

  InProcessGateway(CTreeItemRoot& root, ExchangeControl& exchange, const Logins& logins = {}) {
    static UA_Logger quiet{[](void*, UA_LogLevel, UA_LogCategory, const char*, va_list) {}, nullptr, nullptr};
    m_Port = virk::test::ClosedLoopbackPort();
    UA_ServerConfig config;
    std::memset(&config, 0, sizeof config);
    config.logging = &quiet;
    UA_ServerConfig_setMinimalCustomBuffer(&config, m_Port, nullptr, 0, 0);
    InstallCompactNodestore(config);  // the store the program runs on
    UA_String_clear(&config.serverUrls[0]);
    config.serverUrls[0] = UA_STRING_ALLOC(LoopbackUrl(m_Port).c_str());
    if (!logins.empty()) {
      std::vector<UA_UsernamePasswordLogin> entries;
      for (const auto& [name, password] : logins)
        entries.push_back({UA_STRING(const_cast<char*>(name.c_str())), UA_STRING(const_cast<char*>(password.c_str()))});
      config.allowNonePolicyPassword = true;  // the session hooks are under test here, not encryption
      UA_AccessControl_default(&config, true, nullptr, entries.size(), entries.data());
    }
    InstallSessionHooks(config.accessControl);
    m_Server = UA_Server_newWithConfig(&config);
    const UA_UInt16 ns = UA_Server_addNamespace(m_Server, kNamespaceUri);
    m_Gateway = std::make_unique<Gateway>(m_Server, ns, root, m_Factory, exchange);
    m_Defined = m_Gateway->DefineAddressSpace();
    m_MethodsAdded = m_Gateway->CreateMethods();
    m_Running = UA_Server_run_startup(m_Server) == UA_STATUSCODE_GOOD;
    if (m_Running) m_Loop = std::thread([this] { Loop(); });
  }
  ~InProcessGateway() {
    m_Running = false;
    if (m_Loop.joinable()) m_Loop.join();
    UA_Server_run_shutdown(m_Server);
    UA_Server_delete(m_Server);
  }
  InProcessGateway(const InProcessGateway&) = delete;
  InProcessGateway& operator=(const InProcessGateway&) = delete;

  bool Ready() const { return m_Running && m_Defined && m_MethodsAdded; }
  std::string Url() const { return LoopbackUrl(m_Port); }
  UA_Server* Server() const { return m_Server; }
  Gateway& Gate() { return *m_Gateway; }

  // Runs `f` while the server loop stands still, so the test may look at the
  // tree and the index the loop's callbacks change.
  template <typename F>
  auto Paused(F f) {
    std::lock_guard<std::mutex> lock(m_LoopLock);
    return f();
  }

 private:
  void Loop() {
    while (m_Running) {
      {
        std::lock_guard<std::mutex> lock(m_LoopLock);
        UA_Server_run_iterate(m_Server, false);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  uint16_t m_Port = 0;
  UA_Server* m_Server = nullptr;
  CServerItemFactory m_Factory;
  std::unique_ptr<Gateway> m_Gateway;
  bool m_Defined = false, m_MethodsAdded = false;
  std::atomic<bool> m_Running{false};
  std::mutex m_LoopLock;
  std::thread m_Loop;
};

}  // namespace virk::server::test
