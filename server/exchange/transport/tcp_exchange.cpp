#include "tcp_exchange.h"

#include <algorithm>
#include <cstdint>

#include "common/log.h"
#include "deadline.h"

namespace virk {

using socket_calls::kNoSocket;
using socket_calls::Readiness;

CTCPExchange::~CTCPExchange() { Close(); }

void CTCPExchange::SetAddress(uint32_t address, uint16_t port) {
  m_Address = address;
  SetPort(port);
}

void CTCPExchange::SetSocket(int socket) {
  const int previous = m_Socket.exchange(socket);
  if (previous >= 0 && previous != socket) socket_calls::Close(previous);
}

void CTCPExchange::GetAddressAndPort(uint32_t& address, uint16_t& port) const {
  address = m_Address;
  port = m_Port;
}

TransportResult CTCPExchange::Open(bool noDelay, bool nonBlocking, bool clientFlag) {
  m_NoDelay = noDelay;
  m_NonBlocking = nonBlocking;
  m_ClientFlag = clientFlag;
  if (IsOpen()) return TransportResult::kOk;
  const int socket = socket_calls::Create(noDelay, nonBlocking);
  if (socket == kNoSocket) return TransportResult::kFailed;
  m_Socket = socket;
  return TransportResult::kOk;
}

void CTCPExchange::Close() {
  const int socket = m_Socket.exchange(kNoSocket);
  if (socket >= 0) socket_calls::Close(socket);
}

void CTCPExchange::Abort() {
  const int socket = m_Socket.exchange(kNoSocket);
  if (socket >= 0) socket_calls::CloseWithReset(socket);
}

TransportResult CTCPExchange::Reopen() {
  Close();
  return Open(m_NoDelay, m_NonBlocking, true);
}

int CTCPExchange::WaitFor(int socket, Readiness readiness, uint32_t waitMs, bool interruptible) const {
  const uint32_t ms = waitMs == kUseStoredTimeout ? m_Timeout : waitMs;
  return socket_calls::Wait(socket, readiness, int(std::min<uint32_t>(ms, INT32_MAX)), m_KeepGoing,
                            interruptible ? m_Interrupt : nullptr);
}

TransportResult CTCPExchange::Receive(uint8_t* buffer, uint32_t* size, uint32_t waitMs) {
  const int socket = m_Socket.load();
  if (socket < 0) {
    if (size) *size = 0;
    return TransportResult::kFailed;
  }
  if (!buffer || !size) return TransportResult::kOk;
  if (m_NonBlocking) {
    const int ready = WaitFor(socket, Readiness::kReadable, waitMs, true);
    if (ready <= 0) {
      *size = 0;
      if (ready == 0 && m_Interrupt && m_Interrupt->load() > 0) return TransportResult::kYielded;
      if (ready == 0 || socket_calls::InProgress(socket_calls::LastError())) return TransportResult::kTimeout;
      Close();
      return TransportResult::kFailed;
    }
  }
  const int64_t n = socket_calls::Receive(socket, buffer, *size);
  if (n > 0) {
    *size = uint32_t(n);
    return TransportResult::kOk;
  }
  const int error = socket_calls::LastError();
  *size = 0;
  if (n < 0 && socket_calls::WouldBlock(error)) return TransportResult::kTimeout;
  // 0 is the peer's orderly close.
  Close();
  return TransportResult::kFailed;
}

TransportResult CTCPExchange::Send(const uint8_t* buffer, uint32_t* size, uint32_t waitMs) {
  const int socket = m_Socket.load();
  if (socket < 0) {
    if (size) *size = 0;
    return TransportResult::kFailed;
  }
  if (!buffer || !size) return TransportResult::kOk;
  const Deadline deadline(waitMs == kUseStoredTimeout ? m_Timeout : waitMs);
  const uint32_t want = *size;
  uint32_t sent = 0;
  // A frame is sent whole or reported as not sent: half a request must never
  // pass for a good write.
  while (sent < want) {
    if (m_NonBlocking) {
      const int ready = WaitFor(socket, Readiness::kWritable, uint32_t(deadline.RemainingMs()));
      if (ready <= 0) {
        *size = sent;
        if (ready == 0 || socket_calls::InProgress(socket_calls::LastError())) return TransportResult::kTimeout;
        Close();
        return TransportResult::kFailed;
      }
    }
    const int64_t n = socket_calls::Send(socket, buffer + sent, want - sent);
    if (n > 0) {
      sent += uint32_t(n);
    } else if (!(n < 0 && socket_calls::WouldBlock(socket_calls::LastError()))) {
      *size = sent;
      Close();
      return TransportResult::kFailed;
    } else if (deadline.Passed()) {
      *size = sent;
      return TransportResult::kTimeout;
    }
  }
  *size = sent;
  return TransportResult::kOk;
}

void CTCPExchange::CopySettings(CTCPExchange& target) const {
  target.m_NoDelay = m_NoDelay;
  target.m_NonBlocking = m_NonBlocking;
  target.m_ClientFlag = m_ClientFlag;
  target.SetAddress(m_Address, m_Port);
}

TransportResult CTCPClient::Connect(bool noDelay, bool nonBlocking, uint32_t waitMs) {
  if (Open(noDelay, nonBlocking, true) != TransportResult::kOk) return TransportResult::kFailed;
  const int socket = GetSocket();
  int error = 0;
  const auto start = socket_calls::StartConnect(socket, GetAddress(), GetPort(), error);
  if (start == socket_calls::ConnectStart::kConnected) return TransportResult::kOk;
  if (start == socket_calls::ConnectStart::kPending) {
    if (!NonBlocking()) return TransportResult::kFailed;
    const int ready = WaitFor(socket, Readiness::kWritable, waitMs);
    if (ready == 0) return TransportResult::kTimeout;
    if (ready < 0) {
      Close();
      return TransportResult::kFailed;
    }
    // Writable also means "failed": the socket's own error tells which.
    error = socket_calls::ConnectError(socket);
    if (error == 0) return TransportResult::kOk;
  }
  LogFormat(LogLevel::Debug, kLogUserland, "Connect error %d \n", error);
  Close();
  return TransportResult::kFailed;
}

}  // namespace virk
