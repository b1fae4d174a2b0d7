// A quiet open62541 client for checking what the server offers on 127.0.0.1.
#pragma once

#include <open62541/client.h>
#include <open62541/client_config_default.h>
#include <open62541/client_highlevel.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace virk::server::test {

inline std::string Text(const UA_String& s) { return std::string(reinterpret_cast<const char*>(s.data), s.length); }

class OpcUaClient {
 public:
  OpcUaClient() {
    static UA_Logger quiet{[](void*, UA_LogLevel, UA_LogCategory, const char*, va_list) {}, nullptr, nullptr};
    UA_ClientConfig config;
    std::memset(&config, 0, sizeof config);
    config.logging = &quiet;
    UA_ClientConfig_setDefault(&config);
    config.timeout = 3000;
    m_Client = UA_Client_newWithConfig(&config);
  }
  ~OpcUaClient() { UA_Client_delete(m_Client); }
  OpcUaClient(const OpcUaClient&) = delete;
  OpcUaClient& operator=(const OpcUaClient&) = delete;

  UA_Client* get() const { return m_Client; }

  struct Endpoint {
    std::string policy;
    UA_MessageSecurityMode mode;
    std::string applicationName, applicationUri, productUri;
    std::vector<UA_UserTokenType> tokens;
  };
  UA_StatusCode GetEndpoints(const std::string& url, std::vector<Endpoint>& out) {
    size_t size = 0;
    UA_EndpointDescription* endpoints = nullptr;
    const UA_StatusCode status = UA_Client_getEndpoints(m_Client, url.c_str(), &size, &endpoints);
    for (size_t i = 0; i < size; ++i) {
      const UA_EndpointDescription& e = endpoints[i];
      Endpoint endpoint{Text(e.securityPolicyUri), e.securityMode, Text(e.server.applicationName.text),
                        Text(e.server.applicationUri), Text(e.server.productUri), {}};
      for (size_t t = 0; t < e.userIdentityTokensSize; ++t) endpoint.tokens.push_back(e.userIdentityTokens[t].tokenType);
      out.push_back(endpoint);
    }
    UA_Array_delete(endpoints, size, &UA_TYPES[UA_TYPES_ENDPOINTDESCRIPTION]);
    return status;
  }

 private:
  UA_Client* m_Client = nullptr;
};

inline std::string LoopbackUrl(uint16_t port) { return "opc.tcp://127.0.0.1:" + std::to_string(port); }

// True once the server answers GetEndpoints on the port, within `limit`.
// Whether something accepts connections on 127.0.0.1:`port`. On loopback
// the answer comes at once, where a client's refused attempt costs it about a
// second, which would blur the start times measured with it.
inline bool LoopbackPortAccepts(uint16_t port) {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  if (probe < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool accepted = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(probe);
  return accepted;
}

inline bool WaitUntilServing(uint16_t port, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    if (LoopbackPortAccepts(port)) {
      OpcUaClient client;
      std::vector<OpcUaClient::Endpoint> endpoints;
      if (client.GetEndpoints(LoopbackUrl(port), endpoints) == UA_STATUSCODE_GOOD) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace virk::server::test
