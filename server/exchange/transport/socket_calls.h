// The socket calls under CTCPExchange, one file per platform: POSIX sockets
// and poll() (socket_calls_linux.cpp), Winsock and select()
// (socket_calls_windows.cpp). A socket is an int, kNoSocket for none: the
// handles of Winsock are kernel handles, whose values fit 32 bits on 64-bit
// Windows.
#pragma once

#include <atomic>
#include <cstdint>

namespace virk::socket_calls {

constexpr int kNoSocket = -1;

// A TCP socket that child processes do not inherit, with SO_REUSEADDR,
// TCP_NODELAY when `noDelay`, non-blocking when `nonBlocking`; kNoSocket on
// failure.
int Create(bool noDelay, bool nonBlocking);
void Close(int socket);
// Closes with SO_LINGER 0: what was not yet sent is dropped and the peer
// sees a reset.
void CloseWithReset(int socket);

enum class Readiness { kReadable, kWritable };
// 1 ready, 0 nothing within `timeoutMs` (or soon after `keepGoing` turned
// false or `interrupt` non-zero; null: no such check), -1 an error
// (LastError()). A failed connect counts as writable.
int Wait(int socket, Readiness readiness, int timeoutMs, const std::atomic<bool>* keepGoing,
         const std::atomic<int>* interrupt);

// Bytes moved; 0 from Receive is the peer's orderly close; below 0 an
// error (LastError()). A closed peer is an error result, never a signal.
int64_t Receive(int socket, uint8_t* buffer, uint32_t size);
int64_t Send(int socket, const uint8_t* buffer, uint32_t size);

enum class ConnectStart { kConnected, kPending, kFailed };
// Starts a connect to `address` (network order) and `port`; `error` is the
// call's error where it did not connect at once.
ConnectStart StartConnect(int socket, uint32_t address, uint16_t port, int& error);
// After a pending connect's socket turned writable: 0 connected, or the
// error that ended the attempt.
int ConnectError(int socket);

// The error of this thread's last failed call: errno, WSAGetLastError().
int LastError();
// The call would have blocked, or a signal cut it short: not a failure.
bool WouldBlock(int error);
bool InProgress(int error);

}  // namespace virk::socket_calls
