// What the server benchmarks share: a quiet library logger, the server's log
// opened at its default level, and a gateway served on loopback.
#pragma once

#include <open62541/plugin/log.h>

#include <open62541/client_config_default.h>
#include <open62541/client_highlevel.h>
#include <open62541/server_config_default.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "loopback_listener.h"
#include "server/compact_nodestore.h"
#include "server/exchange/server_item_factory.h"
#include "server/gateway.h"
#include "server/logging.h"
#include "server/server_context.h"

namespace virk::server::bench {

inline UA_Logger* QuietLogger() {
  static UA_Logger quiet{[](void*, UA_LogLevel, UA_LogCategory, const char*, va_list) {}, nullptr, nullptr};
  return &quiet;
}

// The program's own messages at level info, as the server runs by default.
inline void OpenServerLog() {
  static const bool opened = [] {
    std::string error;
    return InitLogging((std::filesystem::temp_directory_path() / "virk_bench_server_log/").string(), "info", error);
  }();
  (void)opened;
}

// A run-time item of the server added under `parent`.
template <typename T>
T& AddItem(CItem& parent, int32_t kind, const std::string& name) {
  ItemPtr item = CServerItemFactory().Create(kind);
  item->SetName(name);
  T& added = dynamic_cast<T&>(*item);
  parent.AddChild(std::move(item));
  return added;
}

inline std::string LoopbackUrl(uint16_t port) { return "opc.tcp://127.0.0.1:" + std::to_string(port); }

// A server with the minimal configuration on 127.0.0.1:`port` and the
// gateway's namespace; not yet listening.
// `compactStore` false leaves the library's default node store, for the
// plain figures the gateway is compared with.
inline UA_Server* NewLoopbackServer(uint16_t port, UA_UInt16& namespaceIndex, bool compactStore = true) {
  UA_ServerConfig config;
  std::memset(&config, 0, sizeof config);
  config.logging = QuietLogger();
  UA_ServerConfig_setMinimalCustomBuffer(&config, port, nullptr, 0, 0);
  if (compactStore) InstallCompactNodestore(config);  // as the program runs
  UA_String_clear(&config.serverUrls[0]);
  config.serverUrls[0] = UA_STRING_ALLOC(LoopbackUrl(port).c_str());
  UA_Server* server = UA_Server_newWithConfig(&config);
  namespaceIndex = UA_Server_addNamespace(server, kNamespaceUri);
  return server;
}

// The gateway on `root` served on a free loopback port, the server loop on a
// thread of its own, and a connected client, as the program runs them.
class ServedGateway {
 public:
  // `addMore` may add nodes of its own before the server starts.
  ServedGateway(CTreeItemRoot& root, ExchangeControl& exchange,
                const std::function<void(UA_Server*, UA_UInt16)>& addMore = {}) {
    OpenServerLog();
    const uint16_t port = virk::test::ClosedLoopbackPort();
    m_Url = LoopbackUrl(port);
    UA_UInt16 ns = 0;
    m_Server = NewLoopbackServer(port, ns);
    UA_Server_getConfig(m_Server)->maxNodesPerRead = 0;
    m_Gateway = std::make_unique<Gateway>(m_Server, ns, root, m_Factory, exchange);
    m_Defined = m_Gateway->DefineAddressSpace();
    if (addMore) addMore(m_Server, ns);
    m_Running = UA_Server_run_startup(m_Server) == UA_STATUSCODE_GOOD;
    m_Loop = std::thread([this] {
      while (m_Running) UA_Server_run_iterate(m_Server, true);
    });
    UA_ClientConfig clientConfig;
    std::memset(&clientConfig, 0, sizeof clientConfig);
    clientConfig.logging = QuietLogger();
    UA_ClientConfig_setDefault(&clientConfig);
    clientConfig.timeout = 20000;
    m_Client = UA_Client_newWithConfig(&clientConfig);
    m_Connected = UA_Client_connect(m_Client, LoopbackUrl(port).c_str()) == UA_STATUSCODE_GOOD;
  }
  ~ServedGateway() {
    UA_Client_disconnect(m_Client);
    UA_Client_delete(m_Client);
    m_Running = false;
    if (m_Loop.joinable()) m_Loop.join();
    UA_Server_run_shutdown(m_Server);
    UA_Server_delete(m_Server);
  }
  ServedGateway(const ServedGateway&) = delete;
  ServedGateway& operator=(const ServedGateway&) = delete;

  bool Ready() const { return m_Defined && m_Running && m_Connected; }
  UA_Client* Client() const { return m_Client; }
  Gateway& Gate() { return *m_Gateway; }
  const std::string& Url() const { return m_Url; }

 private:
  std::string m_Url;
  CServerItemFactory m_Factory;
  UA_Server* m_Server = nullptr;
  std::unique_ptr<Gateway> m_Gateway;
  bool m_Defined = false;
  std::atomic<bool> m_Running{false};
  std::thread m_Loop;
  UA_Client* m_Client = nullptr;
  bool m_Connected = false;
};

}  // namespace virk::server::bench
