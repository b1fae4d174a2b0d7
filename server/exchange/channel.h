// A channel at run time: its transport, its polling thread and the loop
// that opens the link and serves the groups when their timers are due.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "common/item.h"
#include "exchange_thread.h"
#include "transport/port_io.h"

namespace virk {

class CDevice;
class CGroup;

// Connection state of a channel.
enum ChannelConnection : int32_t {
  kLinkReady = 0,
  kLinkInitFailed = 1,
  kLinkNoTransport = 2,
  kLinkNotTried = 4,
};

// Optional demotion of a device that stopped answering: after `failedExchanges`
// failed exchanges in a row it is left out of the polls for `skipMs`, then
// tried once. Off while `failedExchanges` is 0.
struct DemotionRule {
  uint32_t failedExchanges = 0;
  uint32_t skipMs = 0;
  bool IsOn() const { return failedExchanges > 0; }
};

class CChannel : public CChannelBase {
 public:
  CChannel();
  ~CChannel() override;

  // Builds the transport for the current settings when there is none or the
  // settings changed (the old one is closed first).
  void UpdateTransport();
  CPortIO* Port() const { return m_Port.get(); }

  void StartThread();
  // Clears running; the thread leaves at its next check.
  void RequestStop();
  // Clears running and joins the thread.
  void StopThread();
  bool IsRunning() const { return m_Running.load(); }
  bool IsThreadRunning() const { return m_Thread.IsRunning(); }
  int32_t ConnectionState() const { return m_ConnectionState.load(); }

  // The device transactions' way to the port: nothing while the channel is
  // not running; the link is reopened first when it is closed or unavailable.
  TransportResult PortRead(uint8_t* buffer, uint32_t* size);
  // Drops pending input before a request (a late answer to an earlier one).
  TransportResult DiscardPortInput();
  TransportResult PortWrite(const uint8_t* buffer, uint32_t* size);
  void LockPort();
  void UnlockPort();
  bool IsPortOpen() const { return m_Port && m_Port->IsOpen(); }
  // Drops what the link still holds of an exchange whose answer did not come.
  void AbortExchange();
  // Bounds every wait of the port by `deadline` (null: the port's own limits).
  void SetPortDeadline(const Deadline* deadline);

  // A client's write runs on the server thread, which every client waits
  // for: it takes the port ahead of the polls. A poll lets a waiting writer
  // go first after every pass and between two attempts, and on TCP its
  // receive gives way at once (the connection is then reset).
  void LockPortForWrite();
  bool IsWriterWaiting() const { return m_WritersWaiting.load() > 0; }
  // After the poll unlocked the port: returns once a waiting writer has it.
  void LetWriterIn() const;
  // For a poll holding the port: lets a waiting writer have it, then takes it back.
  void YieldPortToWriter();
  // For a poll's receive: while set, it gives way to a waiting writer.
  void SetPortYields(bool on);

  // Sleeps up to `ms`, waking early when the channel stops; false then.
  bool PauseMs(uint32_t ms);

  std::vector<CDevice*> Devices() const;

  // Read by the devices when the thread starts.
  void SetDemotion(const DemotionRule& rule) { m_Demotion = rule; }
  const DemotionRule& Demotion() const { return m_Demotion; }

 private:
  void RunLoop(CThread& thread);
  bool OpenLink();
  void CloseLink();
  void SetAllTagsStatus(uint32_t status);
  // Until the next group is due, within the loop's bounds.
  static uint32_t NextSleepMs(const std::vector<std::vector<CGroup*>>& groups);
  bool KeepGoing(const CThread& thread) const { return !thread.StopRequested() && IsRunning(); }

  std::unique_ptr<CPortIO> m_Port;
  PortData m_PortBuiltFrom;
  int32_t m_PortTypeBuiltFrom = -1;
  std::atomic<int32_t> m_ConnectionState{kLinkNotTried};
  std::atomic<bool> m_Running{false};
  std::atomic<int> m_WritersWaiting{0};
  std::mutex m_PauseMutex;
  std::condition_variable m_PauseWake;
  CThread m_Thread;
  DemotionRule m_Demotion;
};

// Holds a channel's port lock for a scope; a channel without a port has
// nothing to hold.
class ChannelPortLock {
 public:
  explicit ChannelPortLock(CChannel* channel) : m_Channel(channel) {
    if (m_Channel) m_Channel->LockPort();
  }
  ~ChannelPortLock() {
    if (m_Channel) m_Channel->UnlockPort();
  }
  ChannelPortLock(const ChannelPortLock&) = delete;
  ChannelPortLock& operator=(const ChannelPortLock&) = delete;

 private:
  CChannel* m_Channel;
};

}  // namespace virk
