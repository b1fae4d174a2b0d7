// CDevice: status variables and the passes over a tag set.
#include "device.h"

#include <algorithm>

#include "channel.h"
#include "common/log.h"
#include "da_tag.h"
#include "emulation.h"
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
// Drops the served tags, keeping the order of the rest, in one pass and in
// place (a stable partition allocates a buffer every time).
bool RemoveDone(std::vector<CDATag*>& tags) {
  auto kept = tags.begin();
  for (CDATag* tag : tags) {
    if (tag->IsDone())
      tag->SetDone(false);
    else
      *kept++ = tag;
  }
  const bool removed = kept != tags.end();
  tags.erase(kept, tags.end());
  return removed;
}

// The tags of the same register kind as the first, in the set's order, into
// `out` (a buffer the caller reuses from request to request).
void SameKindAsFirst(const std::vector<CDATag*>& tags, std::vector<CDATag*>& out) {
  out.clear();
  for (CDATag* tag : tags)
    if (tag->RegKind() == tags.front()->RegKind()) out.push_back(tag);
}

// How long a device that failed its last exchange refuses writes at once,
// unless a good exchange ends it sooner. Polls of a down device fail again
// every period and so keep it refused; a device polled less often still
// gets one write attempt every so often.
constexpr uint32_t kKnownDownMs = 5000;

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
  ResetTagValues();
  m_LastGood = false;
  m_LastFailed = false;
  m_LastFailure = kStatusGood;
  // The protocol object belongs to whoever holds the port.
  CChannel* channel = Channel();
  ChannelPortLock lock(channel);
  m_Demoted = false;
  m_Demotion = channel ? channel->Demotion() : DemotionRule{};
  m_DemotedMs = m_Demotion.skipMs;
  m_FailedInARow = 0;
  m_Modbus.SetUnitAddress(m_Data.m_Addr);
  m_Modbus.SetLimits(m_Data.m_MaxRegsInReqv, m_Data.m_MaxStatesInReqv, m_Data.m_dFragment);
  m_Modbus.ForgetSplits();
  if (channel) m_Modbus.SetProtocol(channel->m_Data.m_Protocol);
}

bool CDevice::IsEmulated() const { return BoolValue(m_Emulation); }
bool CDevice::IsExchangeOn() const { return BoolValue(m_Exchange); }

void CDevice::SetAllTagsStatus(uint32_t status) {
  std::lock_guard<std::mutex> lock(GlobalValueLock());
  for (CGroup* group : Groups())
    for (CDATag* tag : group->Tags()) tag->SetStatus(status);
}

void CDevice::ResetTagValues() {
  const bool emulated = IsEmulated();
  std::lock_guard<std::mutex> lock(GlobalValueLock());
  for (CGroup* group : Groups())
    for (CDATag* tag : group->Tags()) {
      // Nobody has measured a polled value yet: showing the old or a zero
      // value as Good would invent one.
      if (tag->IsReadable() && !emulated) {
        tag->MarkWaitingForData();
        continue;
      }
      tag->SetStatus(kStatusGood);
      if (emulated && tag->IsReadable()) Emulate(*tag);
    }
}

uint32_t CDevice::WriteRefusal() const {
  const CChannel* channel = Channel();
  if (!channel || !channel->IsRunning()) return kStatusBadOutOfService;
  if (channel->ConnectionState() != kLinkReady) return kStatusBadNotConnected;
  // A write to a device that has just failed would only hold every client
  // up for a time-out; its polls tell when it is back.
  if (IsDemoted()) return kStatusBadNoCommunication;
  if (!m_LastFailed || platform::TickCount32() - m_LastFailureTick.load() >= kKnownDownMs) return kStatusGood;
  return m_LastFailure.load() == kStatusBadNotConnected ? kStatusBadNotConnected : kStatusBadNoCommunication;
}

bool CDevice::IsDemoted() const {
  return m_Demoted.load() && platform::TickCount32() - m_DemotedTick.load() < m_DemotedMs.load();
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

void CDevice::MarkConnectionFailed(uint32_t failure) {
  m_LastFailure = failure;
  m_LastFailureTick = platform::TickCount32();
  if (!m_LastFailed) {
    CChannel* channel = Channel();
    std::lock_guard<std::mutex> lock(GlobalValueLock());
    // A link reset after a time-out is closed now, but it was open: the device failed.
    const bool open = channel && (channel->IsPortOpen() || failure != kStatusBadNotConnected);
    SetConnection(open ? kConnectionFailed : kConnectionClosed);
  }
  m_LastGood = false;
  m_LastFailed = true;
  // Once demoted, the one try after the time out either ends it or starts another.
  if (!m_Demotion.IsOn() || ++m_FailedInARow < m_Demotion.failedExchanges) return;
  m_FailedInARow = m_Demotion.failedExchanges;
  if (!m_Demoted)
    LogFormat(LogLevel::Warning, kLogUserland, "Device %s left out of the polls after %u failed exchanges, tried again every %u ms",
              FullName().c_str(), unsigned(m_FailedInARow), unsigned(m_Demotion.skipMs));
  m_DemotedTick = platform::TickCount32();
  m_Demoted = true;
}

int CDevice::DataExchange(TagSet& set) {
  DEVICE_DEBUG("CDevice::DataExchange size %d", int(set.m_Tags.size()));
  set.m_Result = kStatusGood;
  if (set.m_Tags.empty()) return 0;
  CChannel* channel = Channel();
  if (!channel) {
    set.m_Result = kStatusBadNotConnected;
    return 1;
  }
  const bool write = set.m_Direction == kTagSetWrite;
  const uint64_t start = platform::MonotonicMicros();
  bool failed = false;
  std::vector<CDATag*>& pending = set.m_Tags;
  std::vector<CDATag*> request;
  request.reserve(pending.size());
  while (!pending.empty()) {
    if (write)
      channel->LockPortForWrite();
    else
      channel->LockPort();
    bool good = false;
    Transaction transaction;
    SameKindAsFirst(pending, request);
    const bool built = write ? CreatePacketsWriteDA(request, transaction) : CreatePacketsReadDA(request, transaction);
    if (!built) {
      // A value the tag's type cannot hold, or a kind that cannot be read.
      set.m_Result = write ? kStatusBadOutOfRange : kStatusBadConfigurationError;
    } else if (RemoveDone(pending)) {
      good = true;
    } else if (OperateTransactions(transaction, set)) {
      if (set.m_Addr == 0)
        FinishBroadcast(request);
      else
        AnalyseResponseDA(set, request);
      // A good pass that served no tag would repeat for ever; a block split
      // after an illegal address is planned again, in halves.
      good = RemoveDone(pending) || m_Modbus.SplitTaken();
    }
    channel->UnlockPort();
    // A client's write waiting for the port goes before the next request.
    if (!write) channel->LetWriterIn();
    if (!good) {
      failed = true;
      break;
    }
  }
  if (set.m_Addr != 0) {
    std::lock_guard<std::mutex> lock(GlobalValueLock());
    SetFloatValue(m_ScanTime, ElapsedMs(start));
  }
  if (failed && set.m_Result == kStatusGood) set.m_Result = kStatusBadCommunicationError;
  return failed || set.m_Result != kStatusGood ? 1 : 0;
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

bool CDevice::OperateTransactions(Transaction& transaction, TagSet& set) {
  DEVICE_DEBUG("CDevice::OperateTransactions <%d>", 1);
  if (transaction.m_State == TransactionState::kDone) return true;
  const ExchangeResult result = ValidateFrame(transaction, set.m_Direction == kTagSetWrite);
  if (result != ExchangeResult::kDone) {
    DEVICE_DEBUG("CDevice::OperateTransactions: %s", ToText(result));
    set.m_Result = ClientStatus(result);
    // A stop is not the device's fault.
    if (result != ExchangeResult::kCancelled && m_Data.m_Addr != 0) {
      MarkConnectionFailed(set.m_Result);
      SetAllTagsStatus(set.m_Result);
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
    m_FailedInARow = 0;
    if (m_Demoted.exchange(false))
      LogFormat(LogLevel::Info, kLogUserland, "Device %s answers again, polled as before", FullName().c_str());
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

void CDevice::AnalyseResponseDA(TagSet& set, std::vector<CDATag*>& tags) {
  std::lock_guard<std::mutex> lock(GlobalValueLock());
  if (set.m_Direction == kTagSetWrite) {
    DEVICE_DEBUG("CDevice::AnalyseResponseWriteDA");
    // The device refused the write, or echoed something else than was sent.
    if (!m_Modbus.AnalyseResponse(tags)) set.m_Result = kStatusBadCommunicationError;
    if (const uint8_t code = m_Modbus.ExceptionCode()) set.m_Result = ExceptionStatus(code);
    DEVICE_DEBUG("CDevice::AnalyseResponseWriteDA END");
    return;
  }
  DEVICE_DEBUG("CDevice::AnalyseResponseDA");
  if (!m_Modbus.AnalyseResponse(tags)) {
    DEVICE_DEBUG("CDevice::AnalyseResponseDA FAILED");
    for (CDATag* tag : tags) {
      tag->SetStatus(KeptValueStatus(*tag, kStatusBadCommunicationError));
      tag->SetDone(true);
    }
  }
  DEVICE_DEBUG("CDevice::AnalyseResponseDA END");
}

}  // namespace virk
