// A child process for a test peer (socat, a pymodbus slave). It is stopped by
// its own process id, never by name, and always within a bounded time.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace virk::test {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (searched on PATH); its standard output goes to a pipe
  // read by ReadLine, its standard error to /dev/null unless `keepStderr`.
  bool Start(const std::vector<std::string>& argv, bool keepStderr = false);
  // One line of the child's output without its newline; false when none
  // came within `timeoutMs` or the child closed its output.
  bool ReadLine(std::string& line, int timeoutMs);
  // SIGTERM, then SIGKILL if the child has not ended within 2 s; reaps it.
  void Stop();
  // Sends a signal to the running child (SIGSTOP and SIGCONT to freeze a peer).
  bool Signal(int signal) const;
  pid_t Pid() const { return m_Pid; }
  bool Running() const { return m_Pid > 0; }

 private:
  pid_t m_Pid = -1;
  int m_Output = -1;
  std::string m_Pending;
};

}  // namespace virk::test
