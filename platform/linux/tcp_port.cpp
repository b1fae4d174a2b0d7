// Whether a server may listen on a TCP port. The OPC UA library shares its
// listening port (SO_REUSEPORT) so that a restart rebinds at once, which also
// lets a second server start on a port in use and take half of its clients;
// start-up asks here first.
#include "platform/platform.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace virk::platform {

bool TcpPortFree(uint16_t port, std::string& error) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  // SO_REUSEADDR without SO_REUSEPORT: connections of an earlier run that
  // linger in TIME_WAIT do not count, a listening socket does.
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  const bool free = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!free) error = std::strerror(errno);
  close(fd);
  return free;
}

}  // namespace virk::platform
