#include "da_tag.h"

#include "conversion.h"
#include "value_types.h"

namespace virk {

CDATag::CDATag() = default;
CDATag::~CDATag() = default;

void CDATag::Init() {
  CBaseTag::Init();
  m_PendingValue = nullptr;
  uint16_t access = 0;
  if (m_Data.m_Read) access |= kAccessRead;
  if (m_Data.m_Write && m_Data.IsWritableKind()) access |= kAccessWrite;
  SetAccessFlags(access);
  if (m_Data.IsBitKind()) m_Data.m_ValueType = kTypeBool;
  m_Transform = CTransformation::Create(m_Data.m_TransformKind, m_Data.m_Transform);
  ResetValue(IsRegisterKind() && m_Transform ? &UA_TYPES[UA_TYPES_DOUBLE]
                                             : ValueDataType(m_Data.m_ValueType));
  // The zero is no measured value: a client reading before the first poll
  // is told so.
  if (IsReadable()) MarkWaitingForData();
}

void CDATag::UpdateTransformation() {
  m_Transform = CTransformation::Create(m_Data.m_TransformKind, m_Data.m_Transform);
  if (m_Transform && IsRegisterKind()) SetDataType(&UA_TYPES[UA_TYPES_DOUBLE]);
}

uint16_t CDATag::SizeInRegisters() const {
  return m_Data.IsBitKind() ? 1 : ValueTypeSize(m_Data.m_ValueType);
}

bool CDATag::ApplyTransform(UA_Variant& value, uint32_t& status) const {
  if (!m_Transform || !IsRegisterKind()) return false;
  double raw = 0;
  if (!VariantToDouble(value, raw)) return false;
  double engineering = raw;
  bool outOfRange = false;
  if (!m_Transform->ToEngineering(raw, engineering, outOfRange)) {
    // Publish the raw value, marked Bad, rather than an infinity or NaN.
    engineering = raw;
    outOfRange = true;
  }
  if (outOfRange) status = kStatusBadOutOfRange;
  SetScalarValue(value, &engineering, &UA_TYPES[UA_TYPES_DOUBLE]);
  return true;
}

bool CDATag::ApplyReverseTransform(UA_Variant& value) const {
  if (!m_Transform || !IsRegisterKind()) return false;
  double engineering = 0, raw = 0;
  if (!VariantToDouble(value, engineering) || !m_Transform->ToRaw(engineering, raw)) return false;
  UA_Variant converted;
  UA_Variant_init(&converted);
  if (!DoubleToRawVariant(raw, m_Data.m_ValueType, converted)) return false;
  UA_Variant_clear(&value);
  value = converted;
  return true;
}

}  // namespace virk
