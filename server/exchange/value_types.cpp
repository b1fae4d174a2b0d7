#include "value_types.h"

namespace virk {

uint16_t ValueTypeSize(int32_t valueType) {
  switch (valueType) {
    case kTypeFloat64:
      return 4;
    case kTypeFloat32:
    case kTypeUInt32:
    case kTypeInt32:
      return 2;
    default:
      return (valueType >= kTypeUInt16 && valueType <= kTypeBool) ? 1 : 0;
  }
}

const UA_DataType* ValueDataType(int32_t valueType) {
  switch (valueType) {
    case kTypeFloat64:
      return &UA_TYPES[UA_TYPES_DOUBLE];
    case kTypeUInt16:
      return &UA_TYPES[UA_TYPES_UINT16];
    case kTypeUInt32:
      return &UA_TYPES[UA_TYPES_UINT32];
    case kTypeInt16:
      return &UA_TYPES[UA_TYPES_INT16];
    case kTypeInt32:
      return &UA_TYPES[UA_TYPES_INT32];
    case kTypeLowByte:
    case kTypeHighByte:
      return &UA_TYPES[UA_TYPES_BYTE];
    default:
      if (valueType >= kTypeBit0 && valueType <= kTypeBool) return &UA_TYPES[UA_TYPES_BOOLEAN];
      return &UA_TYPES[UA_TYPES_FLOAT];
  }
}

}  // namespace virk
