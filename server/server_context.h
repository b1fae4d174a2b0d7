// The state of the one server process: options, the configuration tree and
// the OPC UA server handle. Created at start-up, destroyed at exit (which deletes the
// OPC UA server).
#pragma once

#include <open62541/server.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <memory>

#include "common/item.h"
#include "common/options.h"
#include "server/exchange/global.h"
#include "server/gateway.h"

namespace virk::server {

constexpr uint16_t kDefaultPort = 4840;
constexpr const char* kNamespaceUri = "VirkModbusServerNS";

struct ServerContext {
  ServerContext() = default;
  ServerContext(const ServerContext&) = delete;
  ServerContext& operator=(const ServerContext&) = delete;
  ~ServerContext();

  UA_Server* server = nullptr;
  UA_UInt16 namespaceIndex = 0;

  uint16_t port = kDefaultPort;
  bool allowAnonymous = true;
  bool anonymousReadOnly = false;  // "anonymousReadOnly"
  std::string certificatePath;  // "derFile"
  std::string privateKeyPath;   // "pemFile"
  std::string trustFolder;      // "trustFolder"
  std::string usersText;        // "users"
  std::vector<std::pair<std::string, std::string>> logins;
  UA_UInt16 maxSessions = kMaxSessionsLimit.fallback;                // "maxSessions"
  UA_UInt32 maxSessionTimeoutMs = kMaxSessionTimeoutLimit.fallback;  // "maxSessionTimeout"

  std::string configPath;
  // The engine, which owns the configuration tree. The OPC UA server, deleted
  // in the destructor's body, goes before the items its nodes point at.
  CGlobal global;
  std::unique_ptr<GlobalExchange> exchange;
  // The address space and the methods, made by DefineAddressSpace.
  std::unique_ptr<Gateway> gateway;
};

// Applies the option texts of readParametrsStart to the context (port,
// anonymous access, file paths, users text, session limits) and returns the
// "log" option's text. A port or limit text out of its range gives the
// default and a warning.
std::string ApplyStartOptions(const std::vector<std::string>& values, ServerContext& context);

}  // namespace virk::server
