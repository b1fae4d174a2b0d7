#include "server/data_source.h"

#include <vector>

#include "server/da_callback.h"
#include "server/logging.h"

namespace virk::server {

namespace {

// The library checks the value it reads while adding a node against the
// node's data type, but an emulated value keeps the type it was made with (a
// Double in a Boolean tag): a tag published again after a rename would be
// refused. Its node starts from a zero of its type; later reads are as stored.
void StartFromZeroOfDataType(UA_DataValue& value, const UA_DataType* type) {
  if (value.value.type == type || type == nullptr) return;
  UA_Variant_clear(&value.value);
  std::vector<uint8_t> zero(type->memSize, 0);
  UA_Variant_setScalarCopy(&value.value, zero.data(), type);
}

}  // namespace

UA_StatusCode ReadItemValue(UA_Server*, const UA_NodeId*, void*, const UA_NodeId*, void* nodeContext,
                            UA_Boolean includeSourceTimestamp, const UA_NumericRange*, UA_DataValue* value) {
  auto* node = static_cast<PublishedNode*>(nodeContext);
  if (node == nullptr || node->variable == nullptr) return UA_STATUSCODE_BADINTERNALERROR;
  if (!node->monitored) ClientRead(*node->owner, *node->variable);
  node->variable->GetDataValue(*value);
  if (node->publishing) StartFromZeroOfDataType(*value, node->variable->DataType());
  value->hasValue = true;
  // An absent status means Good on the wire, which keeps large reads small.
  value->hasStatus = value->status != UA_STATUSCODE_GOOD && !node->publishing;
  // The time the engine stored the value; without it the library would stamp
  // "now" and a value kept from a silent device would look fresh.
  value->hasSourceTimestamp = includeSourceTimestamp && value->sourceTimestamp != 0;
  return UA_STATUSCODE_GOOD;
}

UA_StatusCode WriteItemValue(UA_Server*, const UA_NodeId*, void*, const UA_NodeId*, void* nodeContext,
                             const UA_NumericRange*, const UA_DataValue* value) {
  auto* node = static_cast<PublishedNode*>(nodeContext);
  if (node == nullptr || node->variable == nullptr) return UA_STATUSCODE_BADINTERNALERROR;
  UA_Variant copy;
  UA_Variant_init(&copy);
  UA_StatusCode status = UA_Variant_copy(&value->value, &copy);
  if (status == UA_STATUSCODE_GOOD) status = ClientWrite(*node->owner, *node->variable, copy);
  UA_Variant_clear(&copy);
  return status;
}

void OnMonitoredItemRegister(UA_Server*, const UA_NodeId*, void*, const UA_NodeId*, void* nodeContext,
                             UA_UInt32 attributeId, UA_Boolean removed) {
  ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_USERLAND, "monitoredItemRegisterCallback");
  // Only variables have a Value attribute, and only their context is a PublishedNode.
  if (nodeContext == nullptr || attributeId != UA_ATTRIBUTEID_VALUE) return;
  static_cast<PublishedNode*>(nodeContext)->monitored = !removed;
}

}  // namespace virk::server
