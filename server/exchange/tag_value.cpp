#include "tag_value.h"

#include <utility>
#include <vector>

namespace virk {

CBaseTag::CBaseTag() : m_DataType(&UA_TYPES[UA_TYPES_BOOLEAN]) { UA_Variant_init(&m_Value); }

CBaseTag::~CBaseTag() { UA_Variant_clear(&m_Value); }

void CBaseTag::Init() {
  m_DataType = &UA_TYPES[UA_TYPES_BOOLEAN];
  m_AccessFlags = 0;
  std::lock_guard<std::mutex> lock(m_ValueLock);
  m_Status = kStatusGood;
  m_Timestamp = UA_DateTime_now();
}

void CBaseTag::ResetValue(const UA_DataType* type) {
  m_DataType = type;
  std::vector<uint8_t> zero(type->memSize, 0);
  UA_Variant fresh;
  UA_Variant_init(&fresh);
  UA_Variant_setScalarCopy(&fresh, zero.data(), type);
  std::lock_guard<std::mutex> lock(m_ValueLock);
  UA_Variant_clear(&m_Value);
  m_Value = fresh;
}

void CBaseTag::GetValue(UA_Variant& out, uint32_t& status) const {
  UA_Variant_clear(&out);
  std::lock_guard<std::mutex> lock(m_ValueLock);
  UA_Variant_copy(&m_Value, &out);
  status = m_Status;
}

void CBaseTag::GetDataValue(UA_DataValue& out) const {
  std::lock_guard<std::mutex> lock(m_ValueLock);
  UA_Variant_copy(&m_Value, &out.value);
  out.status = m_Status;
  out.sourceTimestamp = m_Timestamp;
}

void CBaseTag::SetValueStatus(UA_Variant& value, uint32_t status) {
  ExchangeValue(value, status, UA_DateTime_now());
  UA_Variant_clear(&value);  // the previous value, freed outside the lock
}

void CBaseTag::ExchangeValue(UA_Variant& value, uint32_t status, UA_DateTime time) {
  std::lock_guard<std::mutex> lock(m_ValueLock);
  std::swap(m_Value, value);
  m_Status = status;
  m_Timestamp = time;
  m_HasValue = true;
}

void CBaseTag::SetValue(const UA_Variant& value, uint32_t status) {
  UA_Variant copy;
  UA_Variant_init(&copy);
  UA_Variant_copy(&value, &copy);
  SetValueStatus(copy, status);
}

void CBaseTag::SetStatus(uint32_t status) {
  std::lock_guard<std::mutex> lock(m_ValueLock);
  m_Status = status;
}

void CBaseTag::MarkWaitingForData() {
  std::lock_guard<std::mutex> lock(m_ValueLock);
  m_Status = kStatusBadWaitingForInitialData;
  m_HasValue = false;
}

bool CBaseTag::HasValue() const {
  std::lock_guard<std::mutex> lock(m_ValueLock);
  return m_HasValue;
}

uint32_t CBaseTag::Status() const {
  std::lock_guard<std::mutex> lock(m_ValueLock);
  return m_Status;
}

UA_DateTime CBaseTag::Timestamp() const {
  std::lock_guard<std::mutex> lock(m_ValueLock);
  return m_Timestamp;
}

}  // namespace virk
