// The changes addNode, editNode and deleteNode make to the item tree and the
// address space. Each change is checked in full before anything is touched,
// so a refused change leaves the tree and the nodes as they were, and it runs
// with the polling threads stopped (and started again when they ran), so no
// channel thread ever sees a half-changed tree.
#pragma once

#include <string>

#include "common/item.h"
#include "server/da_callback.h"
#include "server/engine_link.h"
#include "common/method_args.h"

namespace virk::server {

class TreeEdits {
 public:
  TreeEdits(CDACallback& callback, const CItemFactory& factory, ExchangeControl& exchange)
      : m_Callback(callback), m_Factory(factory), m_Exchange(exchange) {}

  // addNode: builds an item from the fields under the parent named by field 0
  // and publishes it.
  bool CreateCItem(const MethodFields& fields);
  // editNode: gives the item named by field 0 the name and settings of the
  // fields. A new name re-keys the item and publishes it (and its subtree)
  // again under its new full name.
  bool EditCItem(const MethodFields& fields);
  // deleteNode: removes the node of the full name, the nodes below it, their
  // index entries and, for a tree item, the item with its subtree.
  bool DeleteItem(const std::string& fullName);

 private:
  // A detached item of the kind in field 1 with the fields applied; null when refused.
  ItemPtr BuildItem(const MethodFields& fields, const char* operation);
  // Brings a published tag's data type and access level in line with its settings.
  void RefreshVariableAttributes(const CItem& tag);

  CDACallback& m_Callback;
  const CItemFactory& m_Factory;
  ExchangeControl& m_Exchange;
};

}  // namespace virk::server
