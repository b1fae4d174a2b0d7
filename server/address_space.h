// The two start-up steps that publish the configuration over OPC UA, in the
// order start-up calls them. Today they publish nothing: the "Каналы" folder
// with the tags and device status variables, and the five management
// methods, are added here by the address-space and methods work.
#pragma once

#include "server/server_context.h"

namespace virk::server {

// Publishes the item tree of the context under its namespace. True on success.
bool DefineAddressSpace(ServerContext& context);

// Adds the management methods. True on FAILURE, as start-up expects of it.
bool CreateMethods(ServerContext& context);

}  // namespace virk::server
