#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace virk::test {

bool ChildProcess::Start(const std::vector<std::string>& argv, bool keepStderr) {
  Stop();
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  if (!keepStderr) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (error != 0) {
    close(pipeFds[0]);
    return false;
  }
  m_Pid = pid;
  m_Output = pipeFds[0];
  return true;
}

bool ChildProcess::ReadLine(std::string& line, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const size_t newline = m_Pending.find('\n');
    if (newline != std::string::npos) {
      line = m_Pending.substr(0, newline);
      m_Pending.erase(0, newline + 1);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (m_Output < 0 || left.count() <= 0) return false;
    pollfd waiter{m_Output, POLLIN, 0};
    if (poll(&waiter, 1, int(left.count())) <= 0) continue;
    char chunk[256];
    const ssize_t n = read(m_Output, chunk, sizeof chunk);
    if (n <= 0) return false;
    m_Pending.append(chunk, size_t(n));
  }
}

bool ChildProcess::Signal(int signal) const { return m_Pid > 0 && kill(m_Pid, signal) == 0; }

void ChildProcess::Stop() {
  if (m_Pid > 0) {
    kill(m_Pid, SIGCONT);  // a frozen child must be able to end
    kill(m_Pid, SIGTERM);
    int status = 0;
    bool reaped = false;
    for (int round = 0; round < 200 && !reaped; ++round) {
      reaped = waitpid(m_Pid, &status, WNOHANG) == m_Pid;
      if (!reaped) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!reaped) {
      kill(m_Pid, SIGKILL);
      waitpid(m_Pid, &status, 0);
    }
    m_Pid = -1;
  }
  if (m_Output >= 0) close(m_Output);
  m_Output = -1;
  m_Pending.clear();
}

}  // namespace virk::test
