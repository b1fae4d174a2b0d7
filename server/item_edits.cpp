#include "server/item_edits.h"

#include "server/logging.h"

namespace virk::server {
namespace {

// Stops the polling threads for the length of a tree change and starts them
// again if they ran. The threads never take a lock the server thread holds
// here, so stopping cannot deadlock; a restart also gives every channel its
// new devices, groups and tags.
class ExchangePause {
 public:
  explicit ExchangePause(ExchangeControl& exchange) : m_Exchange(exchange), m_WasStarted(exchange.IsStarted()) {
    if (m_WasStarted) m_Exchange.StopExchange();
  }
  ~ExchangePause() {
    if (m_WasStarted) m_Exchange.StartExchange();
  }
  ExchangePause(const ExchangePause&) = delete;
  ExchangePause& operator=(const ExchangePause&) = delete;

 private:
  ExchangeControl& m_Exchange;
  bool m_WasStarted;
};

// The edit messages by kind, for a message with the wrong number of fields.
const char* EditCountMessage(const MethodFields& fields) {
  switch (fields.size() > 1 ? DecimalField(fields[1]) : 0) {
    case kKindChannel:
      return fields.size() > 3 && DecimalField(fields[3]) == kChannelTcp ? "Failed add Channel-TCP, EditCItem error"
                                                                         : "Failed add Channel-COM, EditCItem error";
    case kKindDevice:
      return "Failed add Device, EditCItem error";
    case kKindGroup:
      return "Failed add Group, EditCItem error";
    case kKindTag:
      return "Failed add Tag, EditCItem error";
    default:
      return "Unknown item kind, EditCItem error";
  }
}

void LogError(const char* format, const char* a, const char* b = "") {
  ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, format, a, b);
}

}  // namespace

ItemPtr TreeEdits::BuildItem(const MethodFields& fields, const char* operation) {
  const int64_t kind = DecimalField(fields[1]);
  ItemPtr item = kind >= kKindChannel && kind <= kKindTag ? m_Factory.Create(int32_t(kind)) : nullptr;
  if (!item || !ApplyItemFields(*item, fields)) {
    LogError("%s error: a field of <%s> is missing or out of range", operation, fields[2].c_str());
    return nullptr;
  }
  if (CBaseTag* value = TagValue(*item)) value->Init();  // data type and access from the settings
  return item;
}

bool TreeEdits::CreateCItem(const MethodFields& fields) {
  const PublishedNode* parentNode = fields.empty() ? nullptr : m_Callback.Find(fields[0]);
  if (parentNode == nullptr || parentNode->item == nullptr) {
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "Failed get CItem, CreateCItem error");
    return false;
  }
  CItem& parent = *parentNode->item;
  if (ExpectedFieldCount(fields) != fields.size() || DecimalField(fields[1]) != parent.Kind() + 1) {
    LogError("CreateCItem error: the fields do not describe a child of <%s>", fields[0].c_str());
    return false;
  }
  ItemPtr item = BuildItem(fields, "CreateCItem");
  if (!item) return false;
  if (parent.FindChild(item->Name()) != nullptr || parent.FindConflict(*item)) {
    LogError("CreateCItem error: <%s> has a child with this name, COM port or address: <%s>", fields[0].c_str(),
             item->Name().c_str());
    return false;
  }

  ExchangePause pause(m_Exchange);
  CItem& added = *item;
  const std::string name = item->Name();
  parent.AddChild(std::move(item));
  std::string parentName;
  const UA_NodeId parentId = m_Callback.ParentNodeOf(parent, parentName);
  if (m_Callback.DefineDAItem(added, parentId)) return true;
  // Nothing of a refused item stays: neither its nodes nor the item.
  m_Callback.Unpublish(added);
  parent.RemoveChild(name);
  return false;
}

bool TreeEdits::EditCItem(const MethodFields& fields) {
  const PublishedNode* node = fields.empty() ? nullptr : m_Callback.Find(fields[0]);
  if (node == nullptr || node->item == nullptr || node->item->Parent() == nullptr) {
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "Failed get CItem, EditCItem error");
    return false;
  }
  CItem& item = *node->item;
  if (ExpectedFieldCount(fields) != fields.size()) {
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "%s", EditCountMessage(fields));
    return false;
  }
  if (DecimalField(fields[1]) != item.Kind()) {
    LogError("EditCItem error: <%s> is not an item of the kind in the message", fields[0].c_str());
    return false;
  }
  const ItemPtr edited = BuildItem(fields, "EditCItem");
  if (!edited) return false;
  CItem& parent = *item.Parent();
  const bool renamed = edited->Name() != item.Name();
  if ((renamed && parent.FindChild(edited->Name()) != nullptr) || parent.FindConflict(*edited, &item)) {
    LogError("EditCItem error: <%s> has a child with this name, COM port or address: <%s>",
             parent.FullName().c_str(), edited->Name().c_str());
    return false;
  }

  ExchangePause pause(m_Exchange);
  if (renamed) m_Callback.Unpublish(item);  // the old names go before the name changes
  item.Rename(edited->Name());
  CopyItemSettings(item, *edited);
  if (CBaseTag* value = TagValue(item)) value->Init();
  if (!renamed) {
    if (item.Kind() == kKindDevice) PrepareStatusVariables(item);
    if (item.Kind() == kKindTag) RefreshVariableAttributes(item);
    return true;
  }
  std::string parentName;
  const UA_NodeId parentId = m_Callback.ParentNodeOf(parent, parentName);
  return m_Callback.DefineDAItem(item, parentId);
}

void TreeEdits::RefreshVariableAttributes(const CItem& tag) {
  const std::string fullName = tag.FullName();
  const PublishedNode* node = m_Callback.Find(fullName);
  if (node == nullptr || node->variable == nullptr) return;
  const UA_NodeId id = m_Callback.NodeId(fullName);
  const UA_Byte access = static_cast<UA_Byte>(node->variable->AccessFlags() & 0xFF);
  UA_Server* server = m_Callback.Server();
  // The user access level follows the access level through the access control.
  UA_StatusCode status = UA_Server_writeDataType(server, id, node->variable->DataType()->typeId);
  if (status == UA_STATUSCODE_GOOD) status = UA_Server_writeAccessLevel(server, id, access);
  if (status != UA_STATUSCODE_GOOD)
    LogError("EditCItem: the node <%s> keeps its former type or access: %s", fullName.c_str(),
             UA_StatusCode_name(status));
}

bool TreeEdits::DeleteItem(const std::string& fullName) {
  const PublishedNode* node = m_Callback.Find(fullName);
  // The folder holds the methods themselves; it and nodes that stand for no
  // item are not for deleting.
  const bool deletable = node != nullptr && !(node->item != nullptr && node->item->Parent() == nullptr);
  const auto refuse = [&fullName] {
    ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_USERLAND, "Failed to delete %s", fullName.c_str());
    return false;
  };
  if (!deletable) return refuse();
  ExchangePause pause(m_Exchange);
  if (UA_Server_deleteNode(m_Callback.Server(), m_Callback.NodeId(fullName), true) != UA_STATUSCODE_GOOD)
    return refuse();
  CItem* item = node->item;
  if (item == nullptr) {  // a device's status variable: the device keeps it
    m_Callback.Unpublish(fullName);
    return true;
  }
  m_Callback.Unpublish(*item);
  item->Parent()->RemoveChild(item->Name());
  return true;
}

}  // namespace virk::server
