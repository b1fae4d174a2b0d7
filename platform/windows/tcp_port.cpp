// Whether a server may listen on a TCP port. SO_EXCLUSIVEADDRUSE makes the
// trial bind fail for any socket bound to the port, on any interface and
// whether or not it allowed sharing; a plain bind on Windows would succeed
// beside a listener on one address, and SO_REUSEADDR would even take it over.
#include "platform/platform.h"

#include <winsock2.h>

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace virk::platform {
namespace {

// Once per process; never cleaned up, the process's end does that.
int StartWinsock() {
  static const int result = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

}  // namespace

bool TcpPortFree(uint16_t port, std::string& error) {
  if (const int failure = StartWinsock()) {
    error = ErrorText(DWORD(failure));
    return false;
  }
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) {
    error = ErrorText(DWORD(WSAGetLastError()));
    return false;
  }
  const BOOL yes = TRUE;
  if (setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes) != 0) {
    error = ErrorText(DWORD(WSAGetLastError()));
    closesocket(socket);
    return false;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  const bool free = bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!free) error = ErrorText(DWORD(WSAGetLastError()));
  closesocket(socket);
  return free;
}

}  // namespace virk::platform
