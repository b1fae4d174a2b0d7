// The socket wrapper on Winsock 2. Socket handles are kernel handles, whose
// values fit 32 bits on 64-bit Windows, so the int of the shared interface
// holds them; INVALID_SOCKET becomes -1.
#include "tcp_exchange.h"

// Lean first: the full windows.h would bring winspool's SetPort macro,
// which renames CTCPExchange::SetPort.
#include "platform/windows/windows_api.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdint>

#include "common/log.h"
#include "deadline.h"
#include "sliced_wait.h"

namespace virk {
namespace {

SOCKET ToSocket(int socket) { return socket < 0 ? INVALID_SOCKET : SOCKET(unsigned(socket)); }

// Once per process; never cleaned up, the process's end does that.
bool StartWinsock() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

bool SetFlag(SOCKET socket, int level, int option) {
  const BOOL one = TRUE;
  return setsockopt(socket, level, option, reinterpret_cast<const char*>(&one), sizeof one) == 0;
}

bool SetNonBlocking(SOCKET socket, bool on) {
  u_long mode = on ? 1 : 0;
  return ioctlsocket(socket, FIONBIO, &mode) == 0;
}

bool WouldBlock(int error) { return error == WSAEWOULDBLOCK || error == WSAEINTR; }

// select() for one socket and one slice: 1 ready, 0 nothing, -1 error. A
// failed non-blocking connect shows in the exception set, not the write set.
int SelectSlice(SOCKET socket, bool forWriting, int sliceMs) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  timeval wait{sliceMs / 1000, (sliceMs % 1000) * 1000};
  const int count = select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, &failed, &wait);
  return count > 0 ? 1 : count;
}

}  // namespace

CTCPExchange::~CTCPExchange() { Close(); }

void CTCPExchange::SetAddress(uint32_t address, uint16_t port) {
  m_Address = address;
  SetPort(port);
}

void CTCPExchange::SetSocket(int socket) {
  const int previous = m_Socket.exchange(socket);
  if (previous >= 0 && previous != socket) closesocket(ToSocket(previous));
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
  if (!StartWinsock()) return TransportResult::kFailed;
  // Not inherited by the child processes a program may start.
  const SOCKET socket = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) return TransportResult::kFailed;
  const bool ok = SetFlag(socket, SOL_SOCKET, SO_REUSEADDR) &&
                  (!noDelay || SetFlag(socket, IPPROTO_TCP, TCP_NODELAY)) && SetNonBlocking(socket, nonBlocking);
  if (!ok) {
    closesocket(socket);
    return TransportResult::kFailed;
  }
  m_Socket = int(socket);
  return TransportResult::kOk;
}

void CTCPExchange::Close() {
  const int socket = m_Socket.exchange(-1);
  if (socket >= 0) closesocket(ToSocket(socket));
}

void CTCPExchange::Abort() {
  const int socket = m_Socket.exchange(-1);
  if (socket < 0) return;
  const linger reset{1, 0};
  setsockopt(ToSocket(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
  closesocket(ToSocket(socket));
}

TransportResult CTCPExchange::Reopen() {
  Close();
  return Open(m_NoDelay, m_NonBlocking, true);
}

// `events` as for poll(): POLLOUT waits for writing, anything else for reading.
int CTCPExchange::WaitFor(int socket, short events, uint32_t waitMs, bool interruptible) const {
  const uint32_t ms = waitMs == kUseStoredTimeout ? m_Timeout : waitMs;
  const bool forWriting = (events & POLLOUT) != 0;
  return WaitInSlices(int(std::min<uint32_t>(ms, INT32_MAX)), m_KeepGoing, interruptible ? m_Interrupt : nullptr,
                      [socket, forWriting](int sliceMs) { return SelectSlice(ToSocket(socket), forWriting, sliceMs); });
}

TransportResult CTCPExchange::Receive(uint8_t* buffer, uint32_t* size, uint32_t waitMs) {
  const int socket = m_Socket.load();
  if (socket < 0) {
    if (size) *size = 0;
    return TransportResult::kFailed;
  }
  if (!buffer || !size) return TransportResult::kOk;
  if (m_NonBlocking) {
    const int ready = WaitFor(socket, POLLIN, waitMs, true);
    if (ready <= 0) {
      *size = 0;
      if (ready == 0 && m_Interrupt && m_Interrupt->load() > 0) return TransportResult::kYielded;
      if (ready == 0 || WSAGetLastError() == WSAEINPROGRESS) return TransportResult::kTimeout;
      Close();
      return TransportResult::kFailed;
    }
  }
  const int n = recv(ToSocket(socket), reinterpret_cast<char*>(buffer), int(std::min<uint32_t>(*size, INT32_MAX)), 0);
  if (n > 0) {
    *size = uint32_t(n);
    return TransportResult::kOk;
  }
  const int error = WSAGetLastError();
  *size = 0;
  if (n < 0 && WouldBlock(error)) return TransportResult::kTimeout;
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
      const int ready = WaitFor(socket, POLLOUT, uint32_t(deadline.RemainingMs()));
      if (ready <= 0) {
        *size = sent;
        if (ready == 0 || WSAGetLastError() == WSAEINPROGRESS) return TransportResult::kTimeout;
        Close();
        return TransportResult::kFailed;
      }
    }
    // No SIGPIPE on Windows: a closed peer is an error result.
    const int n = send(ToSocket(socket), reinterpret_cast<const char*>(buffer + sent), int(want - sent), 0);
    if (n > 0) {
      sent += uint32_t(n);
    } else if (!(n < 0 && WouldBlock(WSAGetLastError()))) {
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
  const SOCKET socket = ToSocket(GetSocket());
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = GetAddress();
  peer.sin_port = htons(GetPort());
  if (connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return TransportResult::kOk;

  int error = WSAGetLastError();
  if (error == WSAEISCONN) return TransportResult::kOk;
  if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS) {
    if (!NonBlocking()) return TransportResult::kFailed;
    const int ready = WaitFor(GetSocket(), POLLOUT, waitMs);
    if (ready == 0) return TransportResult::kTimeout;
    if (ready < 0) {
      Close();
      return TransportResult::kFailed;
    }
    // Ready also means "failed": the socket's own error tells which.
    int length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
      error = WSAGetLastError();
    if (error == 0) return TransportResult::kOk;
  }
  LogFormat(LogLevel::Debug, kLogUserland, "Connect error %d \n", error);
  Close();
  return TransportResult::kFailed;
}

}  // namespace virk
