#include "server/remote_address.h"

#include <open62541/plugin/eventloop.h>

#include <unordered_map>

namespace virk::server {
namespace {

// The library's own operations, the same for every TCP manager.
decltype(UA_ConnectionManager::openConnection) g_openConnection = nullptr;
UA_ConnectionManager_connectionCallback g_serverCallback = nullptr;

// Connections of the event loop, which runs on the server thread only.
std::unordered_map<uintptr_t, std::string> g_addresses;
thread_local const std::string* g_current = nullptr;

void OnConnectionEvent(UA_ConnectionManager* cm, uintptr_t connectionId, void* application, void** connectionContext,
                       UA_ConnectionState state, const UA_KeyValueMap* params, UA_ByteString msg) {
  const auto* remote = static_cast<const UA_String*>(
      UA_KeyValueMap_getScalar(params, UA_QUALIFIEDNAME(0, const_cast<char*>("remote-address")),
                               &UA_TYPES[UA_TYPES_STRING]));
  if (remote != nullptr)
    g_addresses[connectionId].assign(reinterpret_cast<const char*>(remote->data), remote->length);
  const auto known = g_addresses.find(connectionId);
  const std::string* outer = g_current;
  g_current = known != g_addresses.end() ? &known->second : nullptr;
  g_serverCallback(cm, connectionId, application, connectionContext, state, params, msg);
  g_current = outer;
  if (state == UA_CONNECTIONSTATE_CLOSING) g_addresses.erase(connectionId);
}

UA_StatusCode OpenConnection(UA_ConnectionManager* cm, const UA_KeyValueMap* params, void* application,
                             void* context, UA_ConnectionManager_connectionCallback callback) {
  // Only the server's listen sockets are followed (their connections inherit
  // the callback); anything else the library opens goes through untouched.
  const auto* listen = static_cast<const UA_Boolean*>(
      UA_KeyValueMap_getScalar(params, UA_QUALIFIEDNAME(0, const_cast<char*>("listen")), &UA_TYPES[UA_TYPES_BOOLEAN]));
  if (listen == nullptr || !*listen || (g_serverCallback != nullptr && g_serverCallback != callback))
    return g_openConnection(cm, params, application, context, callback);
  g_serverCallback = callback;
  return g_openConnection(cm, params, application, context, OnConnectionEvent);
}

}  // namespace

void TrackRemoteAddresses(UA_ServerConfig& config) {
  if (config.eventLoop == nullptr) return;
  const UA_String tcp = UA_STRING(const_cast<char*>("tcp"));
  for (UA_EventSource* source = config.eventLoop->eventSources; source != nullptr; source = source->next) {
    if (source->eventSourceType != UA_EVENTSOURCETYPE_CONNECTIONMANAGER) continue;
    auto* cm = reinterpret_cast<UA_ConnectionManager*>(source);
    if (!UA_String_equal(&cm->protocol, &tcp) || cm->openConnection == OpenConnection) continue;
    g_openConnection = cm->openConnection;
    cm->openConnection = OpenConnection;
  }
}

const std::string& CurrentRemoteAddress() {
  static const std::string kNone;
  return g_current != nullptr ? *g_current : kNone;
}

}  // namespace virk::server
