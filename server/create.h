// Configures and creates the OPC UA server of the context: security (None, or
// every policy when a certificate, a key and trusted certificates are given),
// access control from the options in both cases, the application description,
// the session hooks and the namespace "VirkModbusServerNS".
#pragma once

#include "server/server_context.h"

namespace virk::server {

constexpr const char* kApplicationName = "Virk OPC-UA server protocols Modbus";
constexpr const char* kApplicationUri = "urn:virkopcua.server.application";
// The product this server is part of; clients show it next to the application.
constexpr const char* kProductUri = "urn:virkopcua.server.product";
// Subscriptions and monitored items are sized for many thousands of tags.
constexpr UA_UInt32 kMaxSubscriptions = 260000;
constexpr UA_UInt32 kMaxMonitoredItems = 260000;
// Secure channels beyond the session limit, for clients without a session yet.
constexpr UA_UInt16 kSpareSecureChannels = 10;

UA_StatusCode Create(ServerContext& context);

}  // namespace virk::server
