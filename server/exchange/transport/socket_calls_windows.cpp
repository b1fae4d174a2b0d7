// Winsock 2 behind the socket calls; INVALID_SOCKET is kNoSocket.
#include "socket_calls.h"

// Lean first: the full windows.h would bring winsock.h, which clashes with
// winsock2.h.
#include "platform/windows/windows_api.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdint>

#include "sliced_wait.h"

namespace virk::socket_calls {
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

int Create(bool noDelay, bool nonBlocking) {
  if (!StartWinsock()) return kNoSocket;
  // Not inherited by the child processes a program may start.
  const SOCKET socket = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) return kNoSocket;
  const bool ok = SetFlag(socket, SOL_SOCKET, SO_REUSEADDR) &&
                  (!noDelay || SetFlag(socket, IPPROTO_TCP, TCP_NODELAY)) && SetNonBlocking(socket, nonBlocking);
  if (ok) return int(socket);
  closesocket(socket);
  return kNoSocket;
}

void Close(int socket) { closesocket(ToSocket(socket)); }

void CloseWithReset(int socket) {
  const linger reset{1, 0};
  setsockopt(ToSocket(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
  closesocket(ToSocket(socket));
}

int Wait(int socket, Readiness readiness, int timeoutMs, const std::atomic<bool>* keepGoing,
         const std::atomic<int>* interrupt) {
  const bool forWriting = readiness == Readiness::kWritable;
  return WaitInSlices(timeoutMs, keepGoing, interrupt,
                      [socket, forWriting](int sliceMs) { return SelectSlice(ToSocket(socket), forWriting, sliceMs); });
}

int64_t Receive(int socket, uint8_t* buffer, uint32_t size) {
  return recv(ToSocket(socket), reinterpret_cast<char*>(buffer), int(std::min<uint32_t>(size, INT32_MAX)), 0);
}

// Windows has no SIGPIPE: a closed peer is an error result as it is.
int64_t Send(int socket, const uint8_t* buffer, uint32_t size) {
  return send(ToSocket(socket), reinterpret_cast<const char*>(buffer), int(std::min<uint32_t>(size, INT32_MAX)), 0);
}

ConnectStart StartConnect(int socket, uint32_t address, uint16_t port, int& error) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  peer.sin_port = htons(port);
  if (connect(ToSocket(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
    return ConnectStart::kConnected;
  error = WSAGetLastError();
  if (error == WSAEISCONN) return ConnectStart::kConnected;
  return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS ? ConnectStart::kPending : ConnectStart::kFailed;
}

int ConnectError(int socket) {
  int error = 0;
  int length = sizeof error;
  if (getsockopt(ToSocket(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
    error = WSAGetLastError();
  return error;
}

int LastError() { return WSAGetLastError(); }

bool WouldBlock(int error) { return error == WSAEWOULDBLOCK || error == WSAEINTR; }

bool InProgress(int error) { return error == WSAEINPROGRESS; }

}  // namespace virk::socket_calls
