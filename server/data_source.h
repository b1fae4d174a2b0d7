// The data source of every published variable and the monitored-item hook.
// Reads return the value and status the engine stored last, never waiting for
// a device; writes go to the variable's owner and report what it did.
#pragma once

#include <open62541/server.h>

namespace virk::server {

UA_StatusCode ReadItemValue(UA_Server* server, const UA_NodeId* sessionId, void* sessionContext,
                            const UA_NodeId* nodeId, void* nodeContext, UA_Boolean includeSourceTimeStamp,
                            const UA_NumericRange* range, UA_DataValue* value);

UA_StatusCode WriteItemValue(UA_Server* server, const UA_NodeId* sessionId, void* sessionContext,
                             const UA_NodeId* nodeId, void* nodeContext, const UA_NumericRange* range,
                             const UA_DataValue* value);

// The server configuration's monitored-item registration callback.
void OnMonitoredItemRegister(UA_Server* server, const UA_NodeId* sessionId, void* sessionContext,
                             const UA_NodeId* nodeId, void* nodeContext, UA_UInt32 attributeId,
                             UA_Boolean removed);

}  // namespace virk::server
