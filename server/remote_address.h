// The address of the client whose request the server thread is handling.
// The library's sessions do not tell where a client connects from; its TCP
// connection manager does, once, when a connection opens. A wrapper around
// the manager's callback remembers it per connection and names the current
// one while the callback runs.
#pragma once

#include <open62541/server.h>

#include <string>

namespace virk::server {

// Wraps every TCP connection manager of the configuration's event loop;
// before the server starts listening.
void TrackRemoteAddresses(UA_ServerConfig& config);

// The remote address of the connection being served on this thread; empty
// outside a connection's callback or when the manager did not name one.
const std::string& CurrentRemoteAddress();

}  // namespace virk::server
