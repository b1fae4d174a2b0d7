#include "server/address_space.h"

#include "server/exchange/server_item_factory.h"
#include "server/sessions.h"

namespace virk::server {

bool DefineAddressSpace(ServerContext& context) {
  static const CServerItemFactory factory;
  if (context.global.Root() == nullptr) return false;
  context.exchange = std::make_unique<GlobalExchange>(context.global);
  context.gateway = std::make_unique<Gateway>(context.server, context.namespaceIndex, *context.global.Root(), factory,
                                              *context.exchange);
  Sessions().SetExchange(context.exchange.get());
  return context.gateway->DefineAddressSpace();
}

bool CreateMethods(ServerContext& context) { return context.gateway && context.gateway->CreateMethods(); }

}  // namespace virk::server
