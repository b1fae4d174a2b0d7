// What /proc tells of another process: processor seconds and resident memory.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace virk::bench {

// utime + stime of `pid` in seconds; negative when the process is gone.
inline double ProcessCpuSeconds(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(file, line)) return -1;
  // The command name in parentheses may hold spaces; fields count from after it.
  const size_t nameEnd = line.rfind(')');
  if (nameEnd == std::string::npos) return -1;
  std::istringstream fields(line.substr(nameEnd + 1));
  std::string skipped;
  for (int field = 3; field < 14; ++field) fields >> skipped;  // state .. cmajflt
  unsigned long long utime = 0, stime = 0;
  if (!(fields >> utime >> stime)) return -1;
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// A "VmRSS" or "VmHWM" line of /proc/<pid>/status in MiB; negative when absent.
inline double StatusMiB(pid_t pid, const std::string& key) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(file, line);)
    if (line.compare(0, key.size() + 1, key + ":") == 0) return std::stod(line.substr(key.size() + 1)) / 1024.0;
  return -1;
}

}  // namespace virk::bench
