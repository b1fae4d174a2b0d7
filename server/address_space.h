// The two start-up steps that publish the configuration over OPC UA, in the
// order start-up calls them: the "Каналы" folder with the tags and device
// status variables, then the five management methods.
#pragma once

#include "server/server_context.h"

namespace virk::server {

// Publishes the engine's tree under the context's namespace and lets client
// sessions start and stop the exchange. True on success.
bool DefineAddressSpace(ServerContext& context);

// Adds the management methods. True on success.
bool CreateMethods(ServerContext& context);

}  // namespace virk::server
