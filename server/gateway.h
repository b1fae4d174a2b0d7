// What the OPC UA side adds to a created server: the address space of the
// item tree, the index of published names, and the management methods that
// change the tree while the engine runs.
#pragma once

#include <open62541/server.h>

#include "server/da_callback.h"
#include "server/item_edits.h"
#include "server/methods.h"

namespace virk::server {

class Gateway {
 public:
  Gateway(UA_Server* server, UA_UInt16 namespaceIndex, CTreeItemRoot& root, const CItemFactory& factory,
          ExchangeControl& exchange)
      : m_Root(root), m_Callback(server, namespaceIndex), m_Edits(m_Callback, factory, exchange),
        m_Methods(m_Callback, m_Edits, exchange) {}

  bool DefineAddressSpace() { return m_Callback.DefineAddressSpace(m_Root); }
  // True on FAILURE, as start-up expects.
  bool CreateMethods() { return m_Methods.CreateMethods(); }

  CDACallback& Callback() { return m_Callback; }
  ManagementMethods& Methods() { return m_Methods; }

 private:
  CTreeItemRoot& m_Root;
  CDACallback m_Callback;
  TreeEdits m_Edits;
  ManagementMethods m_Methods;
};

}  // namespace virk::server
