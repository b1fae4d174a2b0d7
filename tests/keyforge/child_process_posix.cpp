#include "child_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace virk::keyforge::test {

namespace {

std::vector<char*> CStrings(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Reads both pipes until they close or the deadline passes.
bool Drain(int outFd, int errFd, std::chrono::steady_clock::time_point deadline,
           ChildResult& result) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (poll(fds, 2, static_cast<int>(left.count())) < 0) return false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(count));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  return true;
}

}  // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment,
                     std::chrono::milliseconds timeout) {
  ChildResult result;
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0) return result;
  if (pipe(errPipe) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, outPipe[0]);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);

  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> argvPointers = CStrings(argv);
  std::vector<char*> envPointers = CStrings(environment);
  pid_t pid = -1;
  const int spawned = program.find('/') == std::string::npos
                          ? posix_spawnp(&pid, program.c_str(), &actions, nullptr,
                                         argvPointers.data(), envPointers.data())
                          : posix_spawn(&pid, program.c_str(), &actions, nullptr,
                                        argvPointers.data(), envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  if (spawned == 0) {
    const bool finished =
        Drain(outPipe[0], errPipe[0], std::chrono::steady_clock::now() + timeout, result);
    if (!finished) {
      result.timedOut = true;
      kill(pid, SIGKILL);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  } else {
    result.err = std::string("spawn failed: ") + std::strerror(spawned);
  }
  close(outPipe[0]);
  close(errPipe[0]);
  return result;
}

}  // namespace virk::keyforge::test
