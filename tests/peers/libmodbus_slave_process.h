// Libmodbus TCP slaves on 127.0.0.1 in a child process of their own, so that
// a benchmark counts only the processor time of the side it measures. The
// child lives until the caller stops it by its process id.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "libmodbus_slave.h"

namespace virk::test {

// Starts `count` slaves of `size` registers each; their ports come back
// through a pipe. The child's pid, or -1 (nothing left running) when a slave
// could not start.
inline pid_t StartLibmodbusSlaveProcess(int count, std::vector<uint16_t>& ports, int size = 1000) {
  ports.assign(size_t(count), 0);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    // Served until the parent ends the child.
    auto* slaves = new std::vector<std::unique_ptr<LibmodbusSlave>>;
    for (int i = 0; i < count; ++i) {
      LibmodbusSlave& slave = *slaves->emplace_back(std::make_unique<LibmodbusSlave>(size));
      const uint16_t port = slave.StartTcp() ? slave.Port() : 0;
      if (write(pipeFds[1], &port, sizeof port) != sizeof port) _exit(1);
    }
    close(pipeFds[1]);
    for (;;) pause();
  }
  close(pipeFds[1]);
  bool ok = child > 0;
  for (int i = 0; ok && i < count; ++i)
    ok = read(pipeFds[0], &ports[size_t(i)], sizeof(uint16_t)) == sizeof(uint16_t) && ports[size_t(i)] != 0;
  close(pipeFds[0]);
  if (!ok && child > 0) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
  }
  return ok ? child : -1;
}

inline void StopSlaveProcess(pid_t child) {
  if (child <= 0) return;
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

}  // namespace virk::test
