// Who may open a session and what a session may do. The library's default
// access control checks names, passwords and certificates; around it: no
// password or certificate login over the endpoint without encryption, failed
// logins throttled per client address, anonymous sessions read-only on
// request, and no client edits the address space except through the
// management methods (which keep items and nodes together).
#pragma once

#include <open62541/server.h>

#include "server/server_context.h"

namespace virk::server {

// Replaces the configuration's access control by these rules and logs the
// rules in force. `secured`: encrypted endpoints are offered.
UA_StatusCode ApplyAccessControl(UA_ServerConfig& config, const ServerContext& context, bool secured);

// True for the session context of an anonymous session that may only read.
bool IsReadOnlySession(const void* sessionContext);

// The server's logger, for the library's configuration, without the notes
// the library's default access control writes about itself while it is
// built: they describe rules this server replaces (anonymous login on,
// logins over None); ApplyAccessControl logs the rules in force instead.
UA_Logger* ConfigurationLogger();

}  // namespace virk::server
