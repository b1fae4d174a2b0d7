// Test configurations written the way the configurator writes them: records
// from the generator, options and users sections from the options writer's
// helpers, scrambled by the model's writer.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/options.h"
#include "common/text.h"
#include "generator.h"

namespace virk::server::test {

inline bool WriteTestConfig(const std::string& path, const StartOptions& options, const std::vector<Login>& logins,
                            std::string& error) {
  std::u16string text = Utf8ToUtf16(GenerateConfiguration(GeneratorOptions{}));
  text = WithStartOptions(text, options);
  if (!logins.empty()) text = WithLogins(text, logins);
  return WriteConfigText(path, text, true, error);
}

// Binds 127.0.0.1:`port` (0: any free one) and returns the bound port, 0 if taken.
inline uint16_t BindLoopback(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  uint16_t bound = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    bound = ntohs(address.sin_port);
  close(fd);
  return bound;
}

// A port nobody listens on at the moment, from the kernel.
inline uint16_t FreeLoopbackPort() { return BindLoopback(0); }
inline bool PortIsFree(uint16_t port) { return BindLoopback(port) == port; }

}  // namespace virk::server::test
