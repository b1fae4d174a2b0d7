// Base of the transports: one table of operations that moves raw bytes
// between a channel and its devices. A transport knows nothing of Modbus.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "deadline.h"
#include "transport_result.h"

namespace virk {

struct ChannelSettings;

enum PortType : int32_t { kPortNone = 0, kPortSerial = 1, kPortTcp = 2 };

class CPortIO {
 public:
  explicit CPortIO(int32_t portType = kPortNone) : m_PortType(portType) {}
  virtual ~CPortIO() = default;
  CPortIO(const CPortIO&) = delete;
  CPortIO& operator=(const CPortIO&) = delete;

  virtual bool PortInit(uint32_t timeoutMs) = 0;
  virtual void PortDeInit() = 0;
  // PortDeInit, then PortInit with the stored exchange time-out.
  virtual bool ReInit();
  virtual bool IsOpen() const = 0;
  virtual bool IsAvailable() const = 0;
  // Serialises whole request/response exchanges; not recursive.
  virtual void Lock() { m_Lock.lock(); }
  virtual void Unlock() { m_Lock.unlock(); }
  // Reads what arrives within the time-outs into `buffer`; *size is in/out.
  virtual TransportResult Read(uint8_t* buffer, uint32_t* size) = 0;
  // Drops all pending input (such as a late answer to an earlier request).
  virtual TransportResult DiscardInput() = 0;
  virtual TransportResult Write(const uint8_t* buffer, uint32_t* size) = 0;
  // Gives up the exchange in flight after its answer did not come: whatever
  // the link still holds of it is dropped, so that no request outlives the
  // answer given for it and no late response is taken for a newer request.
  virtual void AbortExchange() = 0;

  // While set, no wait of the transport (connect, send, receive) goes past
  // the deadline; null: the transport's own limits. Set under the port lock.
  void SetDeadline(const Deadline* deadline) { m_Deadline = deadline; }
  // While set, a receive that can be abandoned safely (TCP, whose connection
  // is then reset) gives up soon after the counter turns non-zero, so that a
  // poll lets a waiting writer go first. A serial read never gives up early:
  // the device may still be sending. Set under the port lock.
  void SetInterrupt(const std::atomic<int>* interrupt) { m_Interrupt = interrupt; }

  // Waits of the transport end soon after `keepGoing` turns false, so that a
  // stopping channel never waits out a long time-out. Null: no such check.
  void SetKeepGoing(const std::atomic<bool>* keepGoing) { m_KeepGoing = keepGoing; }
  const std::atomic<bool>* KeepGoing() const { return m_KeepGoing; }

  int32_t PortType() const { return m_PortType; }
  bool IsInitialised() const { return m_Initialised.load(std::memory_order_relaxed); }
  uint32_t ExchangeTimeout() const { return m_ExchangeTimeout.load(std::memory_order_relaxed); }

 protected:
  // `ms`, shortened to what is left before the deadline.
  uint32_t CapWait(uint32_t ms) const {
    if (!m_Deadline) return ms;
    const uint32_t left = uint32_t(m_Deadline->RemainingMs());
    return left < ms ? left : ms;
  }
  void SetInitialised(bool on) { m_Initialised.store(on, std::memory_order_relaxed); }
  void SetExchangeTimeout(uint32_t ms) { m_ExchangeTimeout.store(ms, std::memory_order_relaxed); }

 private:
  const int32_t m_PortType;
  std::mutex m_Lock;
  std::atomic<bool> m_Initialised{false};
  std::atomic<uint32_t> m_ExchangeTimeout{0};
  const std::atomic<bool>* m_KeepGoing = nullptr;
  const Deadline* m_Deadline = nullptr;

 protected:
  const std::atomic<int>* m_Interrupt = nullptr;
};

// Holds a port's lock for one scope.
class PortLockGuard {
 public:
  explicit PortLockGuard(CPortIO& port) : m_Port(port) { m_Port.Lock(); }
  ~PortLockGuard() { m_Port.Unlock(); }
  PortLockGuard(const PortLockGuard&) = delete;
  PortLockGuard& operator=(const PortLockGuard&) = delete;

 private:
  CPortIO& m_Port;
};

// The transport for a channel's link type: serial for "COM-порт", TCP for
// "TCP-соединение", none for anything else.
std::unique_ptr<CPortIO> CreatePortIO(const ChannelSettings& settings);

}  // namespace virk
