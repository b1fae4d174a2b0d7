// CDevice: status variables and the passes over a tag set.
#include "device.h"

#include <algorithm>

#include "channel.h"
#include "common/log.h"
#include "da_tag.h"
#include "group.h"
#include "item_children.h"
#include "platform/platform.h"
#include "status_values.h"
#include "transaction.h"
#include "value_lock.h"

namespace virk {
namespace {

#define DEVICE_DEBUG(...) LogFormat(LogLevel::Debug, kLogUserland, __VA_ARGS__)

// Removes the tags marked done from the list (clearing their marks); true if any.
bool RemoveDone(std::vector<CDATag*>& tags) {
  const auto firstDone = std::stable_partition(tags.begin(), tags.end(),
                                               [](const CDATag* tag) { return !tag->IsDone(); });
  if (firstDone == tags.end()) return false;
  for (auto it = firstDone; it != tags.end(); ++it) (*it)->SetDone(false);
  tags.erase(firstDone, tags.end());
  return true;
}

// The tags of the same register kind as the first, in the set's order.
std::vector<CDATag*> SameKindAsFirst(const std::vector<CDATag*>& tags) {
  std::vector<CDATag*> candidates;
  for (CDATag* tag : tags)
    if (tag->RegKind() == tags.front()->RegKind()) candidates.push_back(tag);
  return candidates;
}

float ElapsedMs(uint64_t startMicros) {
  return float(double(platform::MonotonicMicros() - startMicros) / 1000.0);
}

}  // namespace

CDevice::CDevice() {
  for (CBaseTag* tag : {&m_Emulation, &m_Exchange}) {
    tag->Init();
    tag->SetAccessFlags(kAccessRead | kAccessWrite);
  }
  m_Connection.ResetValue(&UA_TYPES[UA_TYPES_INT32]);
  m_Connection.SetAccessFlags(kAccessRead);
  for (CBaseTag* tag : {&m_ResponseTime, &m_ScanTime}) {
    tag->ResetValue(&UA_TYPES[UA_TYPES_FLOAT]);
    tag->SetAccessFlags(kAccessRead);
  }
  SetBoolValue(m_Exchange, true);
}

CChannel* CDevice::Channel() const { return dynamic_cast<CChannel*>(Parent()); }

std::vector<CGroup*> CDevice::Groups() const { return ChildrenOf<CGroup>(*this); }

void CDevice::InitDevice() {
  {
    std::lock_guard<std::mutex> lock(GlobalValueLock());
    SetBoolValue(m_Emulation, m_Data.m_Emulation);
    SetBoolValue(m_Exchange, m_Data.m_Exchange);
    SetInt32Value(m_Connection, kConnectionClosed);
    SetFloatValue(m_ResponseTime, 0.0f);
    SetFloatValue(m_ScanTime, 0.0f);
  }
  SetAllTagsStatus(kStatusGood);
  m_LastGood = false;
  m_LastFailed = false;
  // The protocol object belongs to whoever holds the port.
  CChannel* channel = Channel();
  if (channel) channel->LockPort();
  m_Modbus.SetUnitAddress(m_Data.m_Addr);
  m_Modbus.SetLimits(m_Data.m_MaxRegsInReqv, m_Data.m_MaxStatesInReqv, m_Data.m_dFragment);
  if (channel) {
    m_Modbus.SetProtocol(channel->m_Data.m_Protocol);
    channel->UnlockPort();
  }
}

bool CDevice::IsEmulated() const { return BoolValue(m_Emulation); }
bool CDevice::IsExchangeOn() const { return BoolValue(m_Exchange); }

void CDevice::SetAllTagsStatus(uint32_t status) {
  std::lock_guard<std::mutex> lock(GlobalValueLock());
  for (CGroup* group : Groups())
    for (CDATag* tag : group->Tags()) tag->SetStatus(status);
}

void CDevice::ShowEmulated() {
  std::lock_guard<std::mutex> lock(GlobalValueLock());
  SetInt32Value(m_Connection, kConnectionGood, kStatusGoodLocalOverride);
  SetFloatValue(m_ResponseTime, 0.0f, kStatusUncertain);
  SetFloatValue(m_ScanTime, 0.0f, kStatusUncertain);
}

CBaseTag* CDevice::FindStatusTag(const std::string& name) {
  if (name == kEmulationName) return &m_Emulation;
  if (name == kExchangeName) return &m_Exchange;
  if (name == kConnectionName) return &m_Connection;
  if (name == kResponseTimeName) return &m_ResponseTime;
  if (name == kScanTimeName) return &m_ScanTime;
  return nullptr;
}

bool CDevice::WriteStatusTag(CBaseTag& tag, const UA_Variant& value) {
  if (&tag != &m_Emulation && &tag != &m_Exchange) return false;
  if (!UA_Variant_hasScalarType(&value, &UA_TYPES[UA_TYPES_BOOLEAN])) return false;
  std::lock_guard<std::mutex> lock(GlobalValueLock());
  tag.SetValue(value, kStatusGood);
  return true;
}

void CDevice::SetConnection(int32_t value) { SetInt32Value(m_Connection, value); }

void CDevice::MarkConnectionFailed() {
  if (!m_LastFailed) {
    CChannel* channel = Channel();
    std::lock_guard<std::mutex> lock(GlobalValueLock());
    SetConnection(channel && channel->IsPortOpen() ? kConnectionFailed : kConnectionClosed);
  }
  m_LastGood = false;
  m_LastFailed = true;
}

int CDevice::DataExchange(TagSet& set) {
  DEVICE_DEBUG("CDevice::DataExchange size %d", int(set.m_Tags.size()));
  if (set.m_Tags.empty()) return 0;
  CChannel* channel = Channel();
  if (!channel) return 1;
  const uint64_t start = platform::MonotonicMicros();
  bool failed = false;
  std::vector<CDATag*>& pending = set.m_Tags;
  while (!pending.empty()) {
    channel->LockPort();
    bool good = false;
    Transaction transaction;
    std::vector<CDATag*> request = SameKindAsFirst(pending);
    const bool built = set.m_Direction == kTagSetWrite ? CreatePacketsWriteDA(request, transaction)
                                                       : CreatePacketsReadDA(request, transaction);
    if (built && RemoveDone(pending)) {
      good = true;
    } else if (built && OperateTransactions(transaction)) {
      if (set.m_Addr == 0)
        FinishBroadcast(request);
      else
        AnalyseResponseDA(set, request);
      // A good pass that served no tag would repeat for ever.
      good = RemoveDone(pending);
    }
    channel->UnlockPort();
    if (m_WriteWaiting.load()) {
      platform::SleepMs(10);
      m_WriteWaiting = false;
    }
    if (!good) {
      failed = true;
      break;
    }
  }
  if (set.m_Addr != 0) {
    std::lock_guard<std::mutex> lock(GlobalValueLock());
    SetFloatValue(m_ScanTime, ElapsedMs(start));
  }
  return failed ? 1 : 0;
}

bool CDevice::CreatePacketsReadDA(std::vector<CDATag*>& tags, Transaction& transaction) {
  DEVICE_DEBUG("CDevice::CreatePacketsReadDA");
  const bool built = m_Modbus.Request_Read(tags);
  if (built) {
    m_Modbus.FinishFrame();
    transaction.SetRequest(m_Modbus.Frame(), m_Modbus.FrameLength());
    // The whole answer is asked for at once, so that a complete frame comes
    // back without waiting for the line to go quiet.
    const size_t pdu = 3 + size_t(m_Modbus.Reqv().nBytes);
    transaction.m_Expected = uint16_t(std::min(m_Modbus.ExpectedResponseLength(pdu), kResponseBufferSize));
  }
  DEVICE_DEBUG("CDevice::CreatePacketsReadDA END");
  return built;
}

bool CDevice::CreatePacketsWriteDA(std::vector<CDATag*>& tags, Transaction& transaction) {
  DEVICE_DEBUG("CModbus_Uso::CreatePacketsWriteDA\n");
  bool built = m_Modbus.Request_Write(tags);
  if (built) {
    m_Modbus.FinishFrame();
    const size_t expected = m_Modbus.ExpectedResponseLength(6);
    built = expected <= kResponseBufferSize;
    if (built) {
      transaction.SetRequest(m_Modbus.Frame(), m_Modbus.FrameLength());
      transaction.m_Expected = uint16_t(expected);
    }
  }
  DEVICE_DEBUG("CModbus_Uso::CreatePacketsWriteDA END\n");
  return built;
}

bool CDevice::OperateTransactions(Transaction& transaction) {
  DEVICE_DEBUG("CDevice::OperateTransactions <%d>", 1);
  if (transaction.m_Status == kTransactionDone) return true;
  if (!ValidateFrame(transaction)) {
    if (m_Data.m_Addr != 0 && transaction.m_Status != kTransactionCancelled) {
      MarkConnectionFailed();
      SetAllTagsStatus(kStatusBad);
    }
    return false;
  }
  if (m_Data.m_Addr != 0 && transaction.m_Expected != 0) {
    {
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      if (Int32Value(m_Connection) != kConnectionGood) SetConnection(kConnectionGood);
    }
    m_LastGood = true;
    m_LastFailed = false;
  }
  return true;
}

void CDevice::FinishBroadcast(std::vector<CDATag*>& tags) {
  std::lock_guard<std::mutex> lock(GlobalValueLock());
  for (CDATag* tag : tags) {
    if (const UA_Variant* written = tag->PendingValue()) tag->SetValue(*written, kStatusUncertain);
    tag->SetPendingValue(nullptr);
    tag->SetDone(true);
  }
}

void CDevice::AnalyseResponseDA(const TagSet& set, std::vector<CDATag*>& tags) {
  std::lock_guard<std::mutex> lock(GlobalValueLock());
  if (set.m_Direction == kTagSetWrite) {
    DEVICE_DEBUG("CDevice::AnalyseResponseWriteDA");
    m_Modbus.AnalyseResponse(tags);
    DEVICE_DEBUG("CDevice::AnalyseResponseWriteDA END");
    return;
  }
  DEVICE_DEBUG("CDevice::AnalyseResponseDA");
  if (!m_Modbus.AnalyseResponse(tags)) {
    DEVICE_DEBUG("CDevice::AnalyseResponseDA FAILED");
    for (CDATag* tag : tags) {
      tag->SetStatus(kStatusUncertain);
      tag->SetDone(true);
    }
  }
  DEVICE_DEBUG("CDevice::AnalyseResponseDA END");
}

}  // namespace virk
