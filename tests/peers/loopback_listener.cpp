#include "loopback_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace virk::test {
namespace {

// A socket bound to 127.0.0.1:`requested` (0: any free port) and the port
// it got, or -1.
int BindLoopback(uint16_t requested, uint16_t& port) {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(requested);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(socket);
    return -1;
  }
  port = ntohs(address.sin_port);
  return socket;
}

bool WaitReadable(int socket, int timeoutMs) {
  pollfd waiter{socket, POLLIN, 0};
  return poll(&waiter, 1, timeoutMs) > 0;
}

}  // namespace

LoopbackListener::~LoopbackListener() { Close(); }

bool LoopbackListener::Start(int backlog) {
  Close();
  m_Socket = BindLoopback(0, m_Port);
  if (m_Socket < 0) return false;
  if (listen(m_Socket, backlog) != 0) {
    Close();
    return false;
  }
  return true;
}

int LoopbackListener::Accept(int timeoutMs) {
  if (m_Socket < 0 || !WaitReadable(m_Socket, timeoutMs)) return -1;
  return accept4(m_Socket, nullptr, nullptr, SOCK_CLOEXEC);
}

void LoopbackListener::Close() {
  if (m_Socket >= 0) close(m_Socket);
  m_Socket = -1;
  for (int socket : m_Waiting) close(socket);
  m_Waiting.clear();
}

bool LoopbackListener::FillQueue() {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket < 0) return false;
    m_Waiting.push_back(socket);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(m_Port);
    if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) continue;
    pollfd waiter{socket, POLLOUT, 0};
    if (poll(&waiter, 1, 200) == 0) return true;  // this one hangs: the queue is full
  }
  return false;
}

int ReceiveSome(int socket, uint8_t* buffer, size_t size, int timeoutMs) {
  if (!WaitReadable(socket, timeoutMs)) return -1;
  const ssize_t n = recv(socket, buffer, size, 0);
  return n < 0 ? -1 : int(n);
}

bool SendAll(int socket, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = send(socket, bytes, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes += n;
    size -= size_t(n);
  }
  return true;
}

uint16_t ClosedLoopbackPort() {
  uint16_t port = 0;
  const int socket = BindLoopback(0, port);
  if (socket >= 0) close(socket);
  return port;
}

bool LoopbackPortIsFree(uint16_t port) {
  uint16_t bound = 0;
  const int socket = BindLoopback(port, bound);
  if (socket >= 0) close(socket);
  return socket >= 0;
}

}  // namespace virk::test
