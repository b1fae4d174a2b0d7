#include "tcp_exchange.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "common/log.h"
#include "deadline.h"
#include "poll_wait.h"

namespace virk {
namespace {

bool SetFlag(int socket, int level, int option) {
  const int one = 1;
  return setsockopt(socket, level, option, &one, sizeof one) == 0;
}

bool SetNonBlocking(int socket, bool on) {
  const int flags = fcntl(socket, F_GETFL);
  if (flags < 0) return false;
  return fcntl(socket, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

}  // namespace

CTCPExchange::~CTCPExchange() { Close(); }

void CTCPExchange::SetAddress(uint32_t address, uint16_t port) {
  m_Address = address;
  SetPort(port);
}

void CTCPExchange::SetSocket(int socket) {
  const int previous = m_Socket.exchange(socket);
  if (previous >= 0 && previous != socket) close(previous);
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
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return TransportResult::kFailed;
  bool ok = SetFlag(socket, SOL_SOCKET, SO_REUSEADDR);
  if (!ok && errno == EBADF) LogFormat(LogLevel::Debug, kLogUserland, "edbaf");
  ok = ok && (!noDelay || SetFlag(socket, IPPROTO_TCP, TCP_NODELAY));
  ok = ok && SetNonBlocking(socket, nonBlocking);
  if (!ok) {
    close(socket);
    return TransportResult::kFailed;
  }
  m_Socket = socket;
  return TransportResult::kOk;
}

void CTCPExchange::Close() {
  const int socket = m_Socket.exchange(-1);
  if (socket >= 0) close(socket);
}

void CTCPExchange::Abort() {
  const int socket = m_Socket.exchange(-1);
  if (socket < 0) return;
  const linger reset{1, 0};
  setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(socket);
}

TransportResult CTCPExchange::Reopen() {
  Close();
  return Open(m_NoDelay, m_NonBlocking, true);
}

int CTCPExchange::WaitFor(int socket, short events, uint32_t waitMs, bool interruptible) const {
  const uint32_t ms = waitMs == kUseStoredTimeout ? m_Timeout : waitMs;
  pollfd waiter{socket, events, 0};
  const int ready = PollWhile(waiter, int(std::min<uint32_t>(ms, INT32_MAX)), m_KeepGoing,
                              interruptible ? m_Interrupt : nullptr);
  return ready > 0 ? 1 : ready;
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
      if (ready == 0 || errno == EINPROGRESS) return TransportResult::kTimeout;
      Close();
      return TransportResult::kFailed;
    }
  }
  const ssize_t n = recv(socket, buffer, *size, 0);
  if (n > 0) {
    *size = uint32_t(n);
    return TransportResult::kOk;
  }
  const int error = errno;
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
        if (ready == 0 || errno == EINPROGRESS) return TransportResult::kTimeout;
        Close();
        return TransportResult::kFailed;
      }
    }
    // MSG_NOSIGNAL: a closed peer is an error result, not a SIGPIPE.
    const ssize_t n = send(socket, buffer + sent, want - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += uint32_t(n);
    } else if (!(n < 0 && WouldBlock(errno))) {
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
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = GetAddress();
  peer.sin_port = htons(GetPort());
  if (connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return TransportResult::kOk;

  int error = errno;
  if (error == EISCONN) return TransportResult::kOk;
  if (error == EINPROGRESS || error == EAGAIN) {
    if (!NonBlocking()) return TransportResult::kFailed;
    const int ready = WaitFor(socket, POLLOUT, waitMs);
    if (ready == 0) return TransportResult::kTimeout;
    if (ready < 0) {
      Close();
      return TransportResult::kFailed;
    }
    // Writable also means "failed": the socket's own error tells which.
    socklen_t length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error == 0) return TransportResult::kOk;
  }
  LogFormat(LogLevel::Debug, kLogUserland, "Connect error %d \n", error);
  Close();
  return TransportResult::kFailed;
}

}  // namespace virk
