// CGroup: polls and writes of a group's tags.
#include "group.h"

#include <mutex>

#include "common/log.h"
#include "da_tag.h"
#include "device.h"
#include "emulation.h"
#include "item_children.h"
#include "tag_value.h"
#include "value_lock.h"

namespace virk {
namespace {

#define GROUP_DEBUG(text) LogMessage(LogLevel::Debug, kLogUserland, text)

constexpr uint32_t kResultExchangeOff = 1;
constexpr uint32_t kResultNotWritable = 0x80004005u;

}  // namespace

CDevice* CGroup::Device() const { return dynamic_cast<CDevice*>(Parent()); }

std::vector<CDATag*> CGroup::Tags() const { return ChildrenOf<CDATag>(*this); }

void CGroup::StartPolling() {
  // The tree does not change while the channel polls (edits stop it first):
  // a poll walks this list instead of the child map.
  m_PolledTags = Tags();
  m_Image.Build(m_PolledTags);
  const uint64_t period = m_Data.PeriodMs();
  m_Timer.SetPeriod(period > UINT32_MAX ? UINT32_MAX : uint32_t(period));
  m_Timer.SetDueNow();
}

void CGroup::StopPolling() {
  m_Image.Release();
  m_PolledTags.clear();
}

int CGroup::Read() {
  GROUP_DEBUG("Lock in thread");
  GROUP_DEBUG("CGroup::Read()");
  CDevice* device = Device();
  if (!device) return 1;
  TagSet set;
  set.m_Addr = device->m_Data.m_Addr;
  set.m_Direction = kTagSetRead;
  const bool emulated = device->IsEmulated();
  set.m_Tags.reserve(m_PolledTags.size());
  for (CDATag* tag : m_PolledTags) {
    if (!tag->IsReadable()) continue;
    if (!emulated) {
      tag->SetPolled(true);
      set.m_Tags.push_back(tag);
    } else {
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      Emulate(*tag);
    }
  }
  if (emulated) {
    GROUP_DEBUG("CGroup::Read() - End");
    GROUP_DEBUG("UnLock in thread - 3");
    return 0;
  }
  GROUP_DEBUG("CGroup::Read() - NotEmulated");
  if (set.m_Tags.empty()) {
    GROUP_DEBUG("CGroup::Read() - No Tags");
    GROUP_DEBUG("UnLock in thread - 1");
    return 1;
  }
  GROUP_DEBUG("CGroup::Read() - DataExchange");
  const int result = device->DataExchange(set);
  GROUP_DEBUG("UnLock in thread - 2");
  return result;
}

int CGroup::Write(size_t count, CDATag* const* tags, const UA_Variant* values, uint32_t* results) {
  CDevice* device = Device();
  if (!device) return 1;
  auto ownTag = [this](const CDATag* tag) { return tag && tag->Parent() == this; };
  if (!device->IsExchangeOn()) {
    for (size_t i = 0; i < count; ++i)
      if (ownTag(tags[i]) && results) results[i] = kResultExchangeOff;
    return 1;
  }
  TagSet set;
  set.m_Addr = device->m_Data.m_Addr;
  set.m_Direction = kTagSetWrite;
  const bool emulated = device->IsEmulated();
  for (size_t i = 0; i < count; ++i) {
    if (!ownTag(tags[i])) continue;
    if (!tags[i]->IsWritable()) {
      if (results) results[i] = kResultNotWritable;
    } else if (!emulated) {
      tags[i]->SetPendingValue(&values[i]);
      set.m_Tags.push_back(tags[i]);
    }
  }
  if (emulated) return 0;
  if (set.m_Tags.empty()) return 1;
  // The pending values point at the caller's values: cleared before return.
  std::vector<CDATag*> written = set.m_Tags;
  const uint32_t refusal = device->WriteRefusal();
  int result = 1;
  if (refusal == kStatusGood)
    result = device->DataExchange(set);
  else
    set.m_Result = refusal;
  for (CDATag* tag : written) tag->SetPendingValue(nullptr);
  for (size_t i = 0; i < count && results; ++i)
    if (ownTag(tags[i]) && tags[i]->IsWritable()) results[i] = set.m_Result;
  return result;
}

int CGroup::Write(CDATag& tag, const UA_Variant& value, uint32_t* status) {
  CDATag* tags[1] = {&tag};
  uint32_t results[1] = {0};
  const int result = Write(1, tags, &value, results);
  if (status) *status = results[0];
  return result;
}

}  // namespace virk
