// Runs a program as a child process with a chosen environment and collects
// its output, bounded in time; a child that overruns is killed by its id.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace virk::keyforge::test {

struct ChildResult {
  int exitCode = -1;  // as a POSIX shell sees it; -1 when it did not exit normally
  bool timedOut = false;
  std::string out;
  std::string err;
};

// `program` is a path or a name looked up in PATH. `environment` holds
// "NAME=value" entries and replaces the whole environment.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace virk::keyforge::test
