// TCP socket wrapper of the TCP transport: a client socket whose waits are
// measured (socket_calls.h), so that no call blocks longer than its time-out.
#pragma once

#include <atomic>
#include <cstdint>

#include "port_io.h"
#include "socket_calls.h"

namespace virk {

class CTCPExchange {
 public:
  // A wait of this value means: use the stored time-out.
  static constexpr uint32_t kUseStoredTimeout = 0xFFFFFFFFu;

  CTCPExchange() = default;
  // Closes the socket: a wrapper never leaves a descriptor behind.
  virtual ~CTCPExchange();
  CTCPExchange(const CTCPExchange&) = delete;
  CTCPExchange& operator=(const CTCPExchange&) = delete;

  // `address` in network order (first dotted part in the lowest byte).
  virtual void SetAddress(uint32_t address, uint16_t port);
  virtual void SetPort(uint16_t port) { m_Port = port; }
  virtual void SetTimeout(uint32_t ms) { m_Timeout = ms; }
  // Takes over an open socket (closing the one held).
  virtual void SetSocket(int socket);
  virtual uint32_t GetAddress() const { return m_Address; }
  virtual void GetAddressAndPort(uint32_t& address, uint16_t& port) const;
  virtual uint32_t GetTimeout() const { return m_Timeout; }
  virtual int GetSocket() const { return m_Socket.load(); }
  virtual uint16_t GetPort() const { return m_Port; }
  // Creates the socket unless one is held; kOk or kFailed.
  virtual TransportResult Open(bool noDelay, bool nonBlocking, bool clientFlag);
  virtual void Close();
  // Closes with a reset (SO_LINGER 0): what was not yet sent is dropped and
  // the peer sees the connection gone at once instead of an orderly end.
  void Abort();
  virtual TransportResult Reopen();
  virtual bool IsOpen() const { return m_Socket.load() >= 0; }
  // One receive of what has arrived, at most *size bytes. A closed peer or a
  // socket error closes the socket and returns kFailed.
  virtual TransportResult Receive(uint8_t* buffer, uint32_t* size, uint32_t waitMs);
  // Sends all *size bytes within the wait; *size tells how many went.
  virtual TransportResult Send(const uint8_t* buffer, uint32_t* size, uint32_t waitMs);
  virtual void CopySettings(CTCPExchange& target) const;
  // Waits end soon after `keepGoing` turns false, and receives soon after
  // `interrupt` turns non-zero; null: no such check.
  void SetKeepGoing(const std::atomic<bool>* keepGoing, const std::atomic<int>* interrupt = nullptr) {
    m_KeepGoing = keepGoing;
    m_Interrupt = interrupt;
  }

 protected:
  // 1 ready, 0 nothing within the wait, -1 error (socket_calls::LastError()).
  int WaitFor(int socket, socket_calls::Readiness readiness, uint32_t waitMs, bool interruptible = false) const;
  bool NonBlocking() const { return m_NonBlocking; }

 private:
  bool m_NoDelay = true;
  bool m_NonBlocking = true;
  bool m_ClientFlag = true;
  uint32_t m_Timeout = 5000;
  // Read without the port lock by IsOpen on the channel thread.
  std::atomic<int> m_Socket{-1};
  uint32_t m_Address = 0;
  uint16_t m_Port = 0;
  const std::atomic<bool>* m_KeepGoing = nullptr;
  const std::atomic<int>* m_Interrupt = nullptr;
};

class CTCPClient : public CTCPExchange {
 public:
  // Connects to the stored address and port: 0 connected, TransportResult::kTimeout
  // when the connection is not made within the wait, 1 on any other failure.
  virtual TransportResult Connect(bool noDelay, bool nonBlocking, uint32_t waitMs);
};

}  // namespace virk
