// Session activation and close hooks, installed in the access control after
// its own checks. The access control's decision always comes first; the
// bodies that start and stop the exchange with the first and last session
// come with the management methods and are empty today.
#pragma once

#include <open62541/plugin/accesscontrol.h>

namespace virk::server {

// Wraps the access control's activateSession and closeSession. Call after the
// access control has been set up, once per process.
void InstallSessionHooks(UA_AccessControl& accessControl);

}  // namespace virk::server
