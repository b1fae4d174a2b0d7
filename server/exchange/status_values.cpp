#include "status_values.h"

namespace virk {
namespace {

template <typename T>
void SetScalar(CBaseTag& tag, T value, const UA_DataType* type, uint32_t status) {
  UA_Variant variant;
  UA_Variant_init(&variant);
  UA_Variant_setScalar(&variant, &value, type);
  tag.SetValue(variant, status);
}

template <typename T>
T GetScalar(const CBaseTag& tag, const UA_DataType* type) {
  UA_Variant variant;
  UA_Variant_init(&variant);
  uint32_t status = 0;
  tag.GetValue(variant, status);
  T value{};
  if (UA_Variant_hasScalarType(&variant, type)) value = *static_cast<const T*>(variant.data);
  UA_Variant_clear(&variant);
  return value;
}

}  // namespace

void SetBoolValue(CBaseTag& tag, bool value, uint32_t status) {
  SetScalar<UA_Boolean>(tag, value, &UA_TYPES[UA_TYPES_BOOLEAN], status);
}
void SetInt32Value(CBaseTag& tag, int32_t value, uint32_t status) {
  SetScalar<UA_Int32>(tag, value, &UA_TYPES[UA_TYPES_INT32], status);
}
void SetFloatValue(CBaseTag& tag, float value, uint32_t status) {
  SetScalar<UA_Float>(tag, value, &UA_TYPES[UA_TYPES_FLOAT], status);
}
bool BoolValue(const CBaseTag& tag) { return GetScalar<UA_Boolean>(tag, &UA_TYPES[UA_TYPES_BOOLEAN]); }
int32_t Int32Value(const CBaseTag& tag) { return GetScalar<UA_Int32>(tag, &UA_TYPES[UA_TYPES_INT32]); }

}  // namespace virk
