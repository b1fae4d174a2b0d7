#include "socket_calls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "common/log.h"
#include "poll_wait.h"

namespace virk::socket_calls {
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

}  // namespace

int Create(bool noDelay, bool nonBlocking) {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return kNoSocket;
  bool ok = SetFlag(socket, SOL_SOCKET, SO_REUSEADDR);
  if (!ok && errno == EBADF) LogFormat(LogLevel::Debug, kLogUserland, "edbaf");
  ok = ok && (!noDelay || SetFlag(socket, IPPROTO_TCP, TCP_NODELAY));
  ok = ok && SetNonBlocking(socket, nonBlocking);
  if (ok) return socket;
  close(socket);
  return kNoSocket;
}

void Close(int socket) { close(socket); }

void CloseWithReset(int socket) {
  const linger reset{1, 0};
  setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(socket);
}

int Wait(int socket, Readiness readiness, int timeoutMs, const std::atomic<bool>* keepGoing,
         const std::atomic<int>* interrupt) {
  pollfd waiter{socket, short(readiness == Readiness::kWritable ? POLLOUT : POLLIN), 0};
  const int ready = PollWhile(waiter, timeoutMs, keepGoing, interrupt);
  return ready > 0 ? 1 : ready;
}

int64_t Receive(int socket, uint8_t* buffer, uint32_t size) { return recv(socket, buffer, size, 0); }

// MSG_NOSIGNAL: a closed peer is an error result, not a SIGPIPE.
int64_t Send(int socket, const uint8_t* buffer, uint32_t size) { return send(socket, buffer, size, MSG_NOSIGNAL); }

ConnectStart StartConnect(int socket, uint32_t address, uint16_t port, int& error) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  peer.sin_port = htons(port);
  if (connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return ConnectStart::kConnected;
  error = errno;
  if (error == EISCONN) return ConnectStart::kConnected;
  return error == EINPROGRESS || error == EAGAIN ? ConnectStart::kPending : ConnectStart::kFailed;
}

int ConnectError(int socket) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  return error;
}

int LastError() { return errno; }

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

bool InProgress(int error) { return error == EINPROGRESS; }

}  // namespace virk::socket_calls
