// Session activation and close hooks, installed in the access control after
// its own checks. The access control's decision always comes first; then the
// session tracker starts the exchange with the first session and stops it
// after the last.
#pragma once

#include <open62541/plugin/accesscontrol.h>

namespace virk::server {

// Wraps the access control's activateSession and closeSession. Call after the
// access control has been set up, once per process.
void InstallSessionHooks(UA_AccessControl& accessControl);

}  // namespace virk::server
