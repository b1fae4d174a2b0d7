#include "server/engine_link.h"

#include <mutex>

#include "server/exchange/da_tag.h"
#include "server/exchange/device.h"
#include "server/exchange/global.h"
#include "server/exchange/group.h"
#include "server/exchange/status_values.h"
#include "server/exchange/value_lock.h"

namespace virk::server {

std::vector<StatusVariable> PrepareStatusVariables(CItem& item) {
  auto* device = dynamic_cast<CDevice*>(&item);
  if (device == nullptr) return {};
  {
    std::lock_guard<std::mutex> lock(GlobalValueLock());
    SetBoolValue(device->m_Emulation, device->m_Data.m_Emulation);
    SetBoolValue(device->m_Exchange, device->m_Data.m_Exchange);
  }
  std::vector<StatusVariable> variables;
  for (const char* name : kStatusVariableNames) variables.push_back({name, device->FindStatusTag(name)});
  return variables;
}

CBaseTag* TagValue(CItem& item) { return dynamic_cast<CDATag*>(&item); }

void ClientRead(CItem& owner, CBaseTag& variable) {
  // A group only marks the tag as in use for the length of the read.
  if (owner.Kind() != kKindGroup) return;
  variable.AddRef();
  variable.Release();
}

UA_StatusCode ClientWrite(CItem& owner, CBaseTag& variable, const UA_Variant& value) {
  if (auto* device = dynamic_cast<CDevice*>(&owner))
    return device->WriteStatusTag(variable, value) ? UA_STATUSCODE_GOOD : UA_STATUSCODE_BADTYPEMISMATCH;
  auto* group = dynamic_cast<CGroup*>(&owner);
  auto* tag = dynamic_cast<CDATag*>(&variable);
  if (group == nullptr || tag == nullptr) return UA_STATUSCODE_BADINTERNALERROR;
  const CDevice* device = group->Device();
  if (device != nullptr && !device->IsExchangeOn()) return UA_STATUSCODE_BADOUTOFSERVICE;
  uint32_t status = UA_STATUSCODE_GOOD;
  if (group->Write(*tag, value, &status) == 0) return UA_STATUSCODE_GOOD;
  return status == UA_STATUSCODE_GOOD ? UA_STATUSCODE_BADCOMMUNICATIONERROR : status;
}

bool GlobalExchange::IsStarted() const { return m_Global.IsStarted(); }
void GlobalExchange::StartExchange() { m_Global.StartExchange(); }
void GlobalExchange::StopExchange() { m_Global.StopExchange(); }

}  // namespace virk::server
