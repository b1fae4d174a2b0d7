// The OPC UA face of the item tree: the "Каналы" folder, one folder per
// channel, device and group, one data-source variable per tag and per device
// status variable, and the index from full names to what each node stands for.
#pragma once

#include <open62541/server.h>

#include <map>
#include <string>

#include "common/item.h"
#include "server/engine_link.h"

namespace virk::server {

constexpr const char* kChannelsFolder = "Каналы";

// What one published node stands for; the node context of every variable.
struct PublishedNode {
  CItem* item = nullptr;         // null for a device status variable
  CItem* owner = nullptr;        // serves reads and writes: a tag's group, a status variable's device
  CBaseTag* variable = nullptr;  // null for folders
  bool monitored = false;        // set while a monitored item samples the node
  // Set while the library adds the node: it reads the value to check its type
  // and would refuse a node whose stored status is not Good.
  bool publishing = false;
};

class CDACallback {
 public:
  // Ordered by the bytes of the full name. Entries keep their addresses, which
  // the library holds as node contexts, until they are erased.
  using Index = std::map<std::string, PublishedNode>;

  CDACallback(UA_Server* server, UA_UInt16 namespaceIndex);
  CDACallback(const CDACallback&) = delete;
  CDACallback& operator=(const CDACallback&) = delete;

  // The "Каналы" folder and below it the whole tree; failures of single items
  // are logged. False only when the folder itself cannot be added.
  bool DefineAddressSpace(CTreeItemRoot& root);
  // Publishes the item under `parentNode`, and the subtree of a folder item.
  // False when the item's own node is refused; for a folder otherwise the
  // result of its last child.
  bool DefineDAItem(CItem& item, const UA_NodeId& parentNode);
  bool DefineStatusItem(CItem& device, const StatusVariable& status, const UA_NodeId& deviceNode);

  const PublishedNode* Find(const std::string& fullName) const;
  // Deletes the nodes of the item and everything below it (with a device's
  // status variables) and their index entries. Call before the item's name
  // changes or the item goes.
  void Unpublish(const CItem& item);
  // Deletes one node and its index entry.
  void Unpublish(const std::string& fullName);

  // The node identifier of a full name; it refers to `fullName`'s characters.
  UA_NodeId NodeId(const std::string& fullName) const;
  // The node an item's children are published under: its own, or the folder for the root.
  UA_NodeId ParentNodeOf(const CItem& item, std::string& fullName) const;

  const Index& ItemIndex() const { return m_ItemIndex; }
  UA_Server* Server() const { return m_Server; }
  UA_UInt16 NamespaceIndex() const { return m_NamespaceIndex; }

 private:
  bool AddFolder(CItem& item, const std::string& fullName, const UA_NodeId& parentNode);
  bool AddVariable(std::string fullName, const PublishedNode& node, const UA_NodeId& parentNode);
  // Adds the variable as a copy of the template's compact record; false when
  // there is no template or the store cannot, and the library adds it then.
  bool AddAsClone(const std::string& name, PublishedNode& node, const UA_NodeId& parentNode);

  UA_Server* m_Server;
  UA_UInt16 m_NamespaceIndex;
  Index m_ItemIndex;
  // A published variable that the library added and the store compacted:
  // the others are added as its copies, which takes a fraction of the time.
  std::string m_Template;
};

}  // namespace virk::server
