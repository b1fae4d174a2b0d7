// Runs the server program as a child process with its own HOME, its output
// in a file, and stops it by its process id. Every wait is bounded.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace virk::server::test {

class ServerProcess {
 public:
  // Starts `program args...` with HOME=`home`, USERPROFILE unset, plus
  // `extraEnvironment` ("NAME=value"), and standard output and error into
  // `outputPath`.
  ServerProcess(const std::string& program, const std::vector<std::string>& args, const std::string& home,
                const std::string& outputPath, const std::vector<std::string>& extraEnvironment = {})
      : m_OutputPath(outputPath) {
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStore) argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore{"HOME=" + home, "PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
    envStore.insert(envStore.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (std::string& entry : envStore) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&m_Pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) m_Pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ServerProcess() {
    if (m_Pid > 0) {
      kill(m_Pid, SIGKILL);
      waitpid(m_Pid, nullptr, 0);
    }
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool Started() const { return m_Pid > 0; }
  pid_t Pid() const { return m_Pid; }

  std::string Output() const {
    std::ifstream file(m_OutputPath, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    do {
      if (Output().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
  }

  static constexpr int kKilledBySignal = -2;
  static constexpr int kStillRunning = -1;

  // The exit code, kKilledBySignal, or kStillRunning when it did not end within `limit`.
  int WaitForExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (m_Pid > 0) {
      int status = 0;
      const pid_t done = waitpid(m_Pid, &status, WNOHANG);
      if (done == m_Pid) {
        m_Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : kKilledBySignal;
      }
      if (std::chrono::steady_clock::now() >= deadline) return kStillRunning;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return kStillRunning;
  }

  int StopWith(int signal, std::chrono::milliseconds limit) {
    if (m_Pid <= 0) return kStillRunning;
    kill(m_Pid, signal);
    return WaitForExit(limit);
  }

 private:
  std::string m_OutputPath;
  pid_t m_Pid = -1;
};

}  // namespace virk::server::test
