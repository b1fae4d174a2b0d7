// CChannel: the transport, the polling thread and its loop.
#include "channel.h"

#include <algorithm>
#include <thread>

#include "common/log.h"
#include "da_tag.h"
#include "device.h"
#include "group.h"
#include "item_children.h"
#include "poll_timer.h"
#include "platform/platform.h"
#include "value_lock.h"

namespace virk {
namespace {

constexpr uint32_t kPortRetryMs = 10;
constexpr uint32_t kPortWaitMs = 100;
constexpr uint32_t kLoopSleepMs = 10;
constexpr uint32_t kIdleSleepMs = 100;
// A writer blocked on the port lock has it within microseconds of its
// release; the wait for that is bounded all the same.
constexpr auto kHandoverCheck = std::chrono::microseconds(50);
constexpr int kHandoverChecks = 4000;

}  // namespace

CChannel::CChannel() = default;

CChannel::~CChannel() {
  StopThread();
  if (m_Port) m_Port->PortDeInit();
}

void CChannel::UpdateTransport() {
  if (m_Port && m_PortTypeBuiltFrom == m_Data.m_ChannelType && m_PortBuiltFrom == m_Data.m_Port)
    return;
  if (m_Port) {
    PortLockGuard lock(*m_Port);
    m_Port->PortDeInit();
  }
  m_Port = CreatePortIO(m_Data);
  // A stop cuts the transport's waits short: a connect may take minutes.
  if (m_Port) m_Port->SetKeepGoing(&m_Running);
  m_PortBuiltFrom = m_Data.m_Port;
  m_PortTypeBuiltFrom = m_Data.m_ChannelType;
}

std::vector<CDevice*> CChannel::Devices() const { return ChildrenOf<CDevice>(*this); }

void CChannel::StartThread() {
  m_Running = true;
  m_Thread.Start([this](CThread& thread) { RunLoop(thread); });
}

void CChannel::RequestStop() {
  {
    std::lock_guard<std::mutex> lock(m_PauseMutex);
    m_Running = false;
  }
  m_PauseWake.notify_all();
}

void CChannel::StopThread() {
  RequestStop();
  m_Thread.Stop();
}

bool CChannel::PauseMs(uint32_t ms) {
  std::unique_lock<std::mutex> lock(m_PauseMutex);
  return !m_PauseWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !IsRunning(); });
}

void CChannel::LockPort() {
  if (m_Port) m_Port->Lock();
}

void CChannel::UnlockPort() {
  if (m_Port) m_Port->Unlock();
}

void CChannel::AbortExchange() {
  if (m_Port) m_Port->AbortExchange();
}

void CChannel::SetPortDeadline(const Deadline* deadline) {
  if (m_Port) m_Port->SetDeadline(deadline);
}

void CChannel::LockPortForWrite() {
  ++m_WritersWaiting;
  LockPort();
  --m_WritersWaiting;
}

void CChannel::LetWriterIn() const {
  for (int i = 0; i < kHandoverChecks && IsWriterWaiting(); ++i) std::this_thread::sleep_for(kHandoverCheck);
}

void CChannel::YieldPortToWriter() {
  if (!IsWriterWaiting()) return;
  UnlockPort();
  LetWriterIn();
  LockPort();
}

void CChannel::SetPortYields(bool on) {
  if (m_Port) m_Port->SetInterrupt(on ? &m_WritersWaiting : nullptr);
}

TransportResult CChannel::PortRead(uint8_t* buffer, uint32_t* size) {
  if (!IsRunning() || !m_Port) {
    // Nothing was read, whatever the caller's buffer held.
    if (size) *size = 0;
    return IsRunning() ? TransportResult::kFailed : TransportResult::kOk;
  }
  if (!m_Port->IsOpen() || !m_Port->IsAvailable()) m_Port->ReInit();
  return m_Port->Read(buffer, size);
}

TransportResult CChannel::DiscardPortInput() {
  if (!IsRunning() || !m_Port) return IsRunning() ? TransportResult::kFailed : TransportResult::kOk;
  if (!m_Port->IsOpen() || !m_Port->IsAvailable()) m_Port->ReInit();
  return m_Port->DiscardInput();
}

TransportResult CChannel::PortWrite(const uint8_t* buffer, uint32_t* size) {
  if (!IsRunning()) return TransportResult::kOk;
  if (!m_Port) return TransportResult::kFailed;
  if (!m_Port->IsOpen() || !m_Port->IsAvailable()) m_Port->ReInit();
  return m_Port->Write(buffer, size);
}

bool CChannel::OpenLink() {
  if (!m_Port) {
    m_ConnectionState = kLinkNoTransport;
    return false;
  }
  PortLockGuard lock(*m_Port);
  const bool ready = m_Port->PortInit(m_Data.m_ResponseTimeout);
  m_ConnectionState = ready ? kLinkReady : kLinkInitFailed;
  return ready;
}

void CChannel::CloseLink() {
  PortLockGuard lock(*m_Port);
  m_Port->PortDeInit();
}

void CChannel::SetAllTagsStatus(uint32_t status) {
  for (CDevice* device : Devices()) device->SetAllTagsStatus(status);
}

// The loop sleeps at least kLoopSleepMs a turn and, while no group is due,
// up to kIdleSleepMs, so that many channels with slow groups stay cheap.
void CChannel::RunLoop(CThread& thread) {
  thread.SetRunning(true);
  // The tree does not change while the thread runs: edits stop it first.
  const std::vector<CDevice*> devices = Devices();
  std::vector<std::vector<CGroup*>> groups;
  for (CDevice* device : devices) groups.push_back(device->Groups());
  for (CDevice* device : devices) device->InitDevice();
  // Writes on the server thread use the register images: built and freed
  // only under the port lock.
  {
    ChannelPortLock lock(this);
    for (const auto& deviceGroups : groups)
      for (CGroup* group : deviceGroups) group->StartPolling();
  }

  PollTimer portTimer(kPortRetryMs);
  bool linkReady = false;
  std::vector<bool> emulated(devices.size());
  for (size_t d = 0; d < devices.size(); ++d) emulated[d] = devices[d]->IsEmulated();
  while (KeepGoing(thread)) {
    bool anyPolled = false;
    for (size_t d = 0; d < devices.size(); ++d) {
      // Switched between emulated and polled: what the tags held came from
      // the other source.
      if (devices[d]->IsEmulated() != emulated[d]) {
        emulated[d] = !emulated[d];
        devices[d]->ResetTagValues();
      }
      anyPolled = anyPolled || !emulated[d];
    }
    if (!linkReady && anyPolled) {
      if (portTimer.IsDue()) {
        linkReady = OpenLink();
        portTimer.Restart();
        if (!linkReady) SetAllTagsStatus(kStatusBadNotConnected);
      } else {
        PauseMs(kPortWaitMs);
      }
    }
    for (size_t d = 0; d < devices.size() && KeepGoing(thread); ++d) {
      CDevice* device = devices[d];
      if (!device->IsExchangeOn()) continue;
      if (emulated[d]) device->ShowEmulated();
      if (device->m_Data.m_Addr == 0) continue;
      if (emulated[d] || linkReady) {
        for (CGroup* group : groups[d]) {
          if (!group->Timer().IsDue()) continue;
          group->Timer().Restart();
          // A demoted device's groups wait their period like the others
          // instead of keeping the loop awake.
          if (!emulated[d] && device->IsDemoted()) continue;
          // Only a lost or unavailable link is closed; a silent device is not.
          if (group->Read() != 0 && m_Port && (!m_Port->IsOpen() || !m_Port->IsAvailable()) &&
              linkReady) {
            CloseLink();
            linkReady = false;
          }
          if (!KeepGoing(thread)) break;
        }
      }
      if (emulated[d] && m_Data.m_Pause) PauseMs(m_Data.m_Pause);
    }
    PauseMs(NextSleepMs(groups));
  }

  {
    ChannelPortLock lock(this);
    for (const auto& deviceGroups : groups)
      for (CGroup* group : deviceGroups) group->StopPolling();
  }
  thread.SetRunning(false);
}

uint32_t CChannel::NextSleepMs(const std::vector<std::vector<CGroup*>>& groups) {
  const uint32_t now = platform::TickCount32();
  uint32_t sleep = kIdleSleepMs;
  for (const auto& deviceGroups : groups)
    for (CGroup* group : deviceGroups) sleep = std::min(sleep, group->Timer().RemainingAt(now));
  return std::max(sleep, kLoopSleepMs);
}

}  // namespace virk
