// The umask for one test, restored after it, and the permission bits of a
// path (0 when it cannot be examined).
#pragma once

#include <sys/stat.h>

#include <string>

namespace virk::test {

struct ScopedUmask {
  explicit ScopedUmask(mode_t mask) : old(umask(mask)) {}
  ~ScopedUmask() { umask(old); }
  const mode_t old;
};

inline unsigned ModeOf(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 0777 : 0;
}

}  // namespace virk::test
