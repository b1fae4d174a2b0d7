// The value-type vocabulary of a tag: how many registers a type occupies and
// which OPC UA type it publishes.
#pragma once

#include <cstdint>

#include <open62541/types.h>

#include "common/settings.h"

namespace virk {

// Registers a value of the type occupies; 0 for an unknown code.
uint16_t ValueTypeSize(int32_t valueType);

// OPC UA type a value of the type is published as; Float for an unknown code.
const UA_DataType* ValueDataType(int32_t valueType);

// Byte and bit types (6..23) share a register with others through the
// register image.
inline bool UsesRegisterImage(int32_t valueType) {
  return valueType >= kTypeLowByte && valueType <= kTypeBit15;
}

}  // namespace virk
