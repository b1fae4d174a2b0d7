// One file per fuzzing process for targets that read through the file
// functions: in TMPDIR (else /tmp), named after the target and the process,
// removed when the process ends.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace virk::fuzz {

inline std::string& ScratchPathHolder() {
  static std::string path;
  return path;
}

// Sets the path up; call once from LLVMFuzzerInitialize.
inline void InitScratchFile(const char* target) {
  const char* dir = std::getenv("TMPDIR");
  ScratchPathHolder() = std::string(dir && *dir ? dir : "/tmp") + "/virk_" + target + "_" +
                        std::to_string(getpid()) + ".cfg";
  std::atexit([] { std::remove(ScratchPathHolder().c_str()); });
}

inline const std::string& ScratchPath() { return ScratchPathHolder(); }

}  // namespace virk::fuzz
