#include "server/address_space.h"

namespace virk::server {

bool DefineAddressSpace(ServerContext& /*context*/) { return true; }

bool CreateMethods(ServerContext& /*context*/) { return false; }

}  // namespace virk::server
