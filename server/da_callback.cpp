#include "server/da_callback.h"

#include <vector>

#include "server/compact_nodestore.h"
#include "server/data_source.h"
#include "server/logging.h"

namespace virk::server {
namespace {

constexpr char kLocale[] = "ru-RU";

UA_String View(const std::string& text) {
  return UA_String{text.size(), reinterpret_cast<UA_Byte*>(const_cast<char*>(text.data()))};
}

UA_LocalizedText LocalizedView(const std::string& text) {
  return UA_LocalizedText{UA_STRING(const_cast<char*>(kLocale)), View(text)};
}

std::string StatusFullName(const std::string& deviceName, const char* statusName) {
  return deviceName + "." + statusName;
}

// Full names of the item and everything below it, the item first.
void CollectFullNames(const CItem& item, std::vector<std::string>& names) {
  const std::string fullName = item.FullName();
  names.push_back(fullName);
  if (item.Kind() == kKindDevice)
    for (const char* status : kStatusVariableNames) names.push_back(StatusFullName(fullName, status));
  for (const auto& child : item.Children()) CollectFullNames(*child.second, names);
}

}  // namespace

CDACallback::CDACallback(UA_Server* server, UA_UInt16 namespaceIndex)
    : m_Server(server), m_NamespaceIndex(namespaceIndex) {}

UA_NodeId CDACallback::NodeId(const std::string& fullName) const {
  UA_NodeId id;
  id.namespaceIndex = m_NamespaceIndex;
  id.identifierType = UA_NODEIDTYPE_STRING;
  id.identifier.string = View(fullName);
  return id;
}

UA_NodeId CDACallback::ParentNodeOf(const CItem& item, std::string& fullName) const {
  fullName = item.Kind() == kKindRoot ? std::string(kChannelsFolder) : item.FullName();
  return NodeId(fullName);
}

bool CDACallback::DefineAddressSpace(CTreeItemRoot& root) {
  UA_ServerConfig* config = UA_Server_getConfig(m_Server);
  config->monitoredItemRegisterCallback = OnMonitoredItemRegister;

  const std::string folderName = kChannelsFolder;
  if (!AddFolder(root, folderName, UA_NODEID_NUMERIC(0, UA_NS0ID_OBJECTSFOLDER))) return false;
  const UA_NodeId folder = NodeId(m_ItemIndex.find(folderName)->first);
  for (const auto& channel : root.Children()) DefineDAItem(*channel.second, folder);
  return true;
}

bool CDACallback::AddFolder(CItem& item, const std::string& fullName, const UA_NodeId& parentNode) {
  const UA_StatusCode status = UA_Server_addObjectNode(
      m_Server, NodeId(fullName), parentNode, UA_NODEID_NUMERIC(0, UA_NS0ID_ORGANIZES),
      UA_QualifiedName{m_NamespaceIndex, View(fullName)}, UA_NODEID_NUMERIC(0, UA_NS0ID_FOLDERTYPE),
      UA_ObjectAttributes_default, nullptr, nullptr);
  if (status != UA_STATUSCODE_GOOD) {
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_USERLAND, "Failed to add %s", fullName.c_str());
    return false;
  }
  PublishedNode& entry = m_ItemIndex[fullName];
  entry = PublishedNode{};
  entry.item = &item;
  return true;
}

bool CDACallback::DefineDAItem(CItem& item, const UA_NodeId& parentNode) {
  std::string fullName = item.FullName();
  if (item.Kind() == kKindTag) {
    PublishedNode node;
    node.item = &item;
    node.owner = item.Parent();
    node.variable = TagValue(item);
    return node.variable != nullptr && node.owner != nullptr && AddVariable(std::move(fullName), node, parentNode);
  }
  if (!AddFolder(item, fullName, parentNode)) return false;
  const UA_NodeId self = NodeId(m_ItemIndex.find(fullName)->first);
  bool result = true;
  for (const auto& child : item.Children()) result = DefineDAItem(*child.second, self);
  if (item.Kind() == kKindDevice)
    for (const StatusVariable& status : PrepareStatusVariables(item)) DefineStatusItem(item, status, self);
  return result;
}

bool CDACallback::DefineStatusItem(CItem& device, const StatusVariable& status, const UA_NodeId& deviceNode) {
  PublishedNode node;
  node.owner = &device;
  node.variable = status.variable;
  return AddVariable(StatusFullName(device.FullName(), status.name), node, deviceNode);
}

bool CDACallback::AddVariable(std::string fullName, const PublishedNode& node, const UA_NodeId& parentNode) {
  // The entry exists before the node so that the node's context can point at
  // it; a name already published keeps its entry and the library refuses the node.
  const auto [entry, fresh] = m_ItemIndex.try_emplace(std::move(fullName), node);
  const std::string& name = entry->first;  // the same name either way
  if (fresh && AddAsClone(name, entry->second, parentNode)) {
    ServerLog(UA_LOGLEVEL_DEBUG, UA_LOGCATEGORY_USERLAND, "CDACallback::DefineDAItem <%s>", name.c_str());
    return true;
  }
  if (fresh) entry->second.publishing = true;
  UA_VariableAttributes attributes = UA_VariableAttributes_default;
  attributes.displayName = LocalizedView(name);
  attributes.description = LocalizedView(name);
  uint32_t valueStatus = 0;
  node.variable->GetValue(attributes.value, valueStatus);
  attributes.dataType = node.variable->DataType()->typeId;
  attributes.accessLevel = static_cast<UA_Byte>(node.variable->AccessFlags() & 0xFF);
  attributes.userAccessLevel = attributes.accessLevel;

  const UA_StatusCode status = UA_Server_addDataSourceVariableNode(
      m_Server, NodeId(name), parentNode, UA_NODEID_NUMERIC(0, UA_NS0ID_HASCOMPONENT),
      UA_QualifiedName{m_NamespaceIndex, View(name)}, UA_NODEID_NUMERIC(0, UA_NS0ID_BASEDATAVARIABLETYPE),
      attributes, UA_DataSource{ReadItemValue, WriteItemValue}, fresh ? &entry->second : nullptr, nullptr);
  UA_Variant_clear(&attributes.value);
  if (status != UA_STATUSCODE_GOOD) {
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_USERLAND,
              "CDACallback::DefineDAItem <%s> UA_Server_addDataSourceVariableNode FAILED %s", name.c_str(),
              UA_StatusCode_name(status));
    if (fresh) m_ItemIndex.erase(entry);
    return false;
  }
  entry->second.publishing = false;
  // The many tag nodes are kept small; one that does not fit stays whole.
  if (!CompactVariable(m_Server, NodeId(name)))
    ServerLog(UA_LOGLEVEL_DEBUG, UA_LOGCATEGORY_USERLAND, "CDACallback::DefineDAItem <%s> kept as a full node",
              name.c_str());
  else if (m_Template.empty())
    m_Template = name;
  ServerLog(UA_LOGLEVEL_DEBUG, UA_LOGCATEGORY_USERLAND, "CDACallback::DefineDAItem <%s>", name.c_str());
  return true;
}

bool CDACallback::AddAsClone(const std::string& name, PublishedNode& node, const UA_NodeId& parentNode) {
  const UA_NodeId& dataType = node.variable->DataType()->typeId;
  if (m_Template.empty() || dataType.namespaceIndex != 0 || dataType.identifierType != UA_NODEIDTYPE_NUMERIC)
    return false;
  const CompactClone clone{NodeId(name), parentNode, &node, dataType.identifier.numeric,
                           static_cast<UA_Byte>(node.variable->AccessFlags() & 0xFF)};
  return CloneCompactVariable(m_Server, NodeId(m_Template), clone) == UA_STATUSCODE_GOOD;
}

const PublishedNode* CDACallback::Find(const std::string& fullName) const {
  const auto found = m_ItemIndex.find(fullName);
  return found == m_ItemIndex.end() ? nullptr : &found->second;
}

void CDACallback::Unpublish(const CItem& item) {
  std::vector<std::string> names;
  CollectFullNames(item, names);
  for (const std::string& name : names) Unpublish(name);
}

void CDACallback::Unpublish(const std::string& fullName) {
  const auto found = m_ItemIndex.find(fullName);
  if (found == m_ItemIndex.end()) return;
  // Deleting a folder takes the nodes below it along; deleting them again
  // one by one only makes sure no node outlives the entry it points at.
  UA_Server_deleteNode(m_Server, NodeId(found->first), true);
  if (found->first == m_Template) m_Template.clear();
  m_ItemIndex.erase(found);
}

}  // namespace virk::server
