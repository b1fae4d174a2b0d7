// Counting checks for a test program without a framework: each failure
// names its line and what was seen, and the closing line gives the counts.
#pragma once

#include <cstdio>
#include <string>

namespace virk::test {

struct Tally {
  int passed = 0;
  int failed = 0;
  int skipped = 0;
};

inline Tally& Counts() {
  static Tally tally;
  return tally;
}

inline bool Check(bool ok, const char* condition, int line, const std::string& detail) {
  if (ok) {
    ++Counts().passed;
  } else {
    ++Counts().failed;
    std::printf("FAILED line %d: %s%s%s\n", line, condition, detail.empty() ? "" : " -- ", detail.c_str());
  }
  std::fflush(stdout);
  return ok;
}

inline void Skip(const char* what, const std::string& reason) {
  ++Counts().skipped;
  std::printf("SKIPPED %s: %s\n", what, reason.c_str());
  std::fflush(stdout);
}

// The line the test runners read, and the exit code.
inline int Finish() {
  const Tally& tally = Counts();
  std::printf("%d passed, %d failed, %d skipped\n", tally.passed, tally.failed, tally.skipped);
  return tally.failed == 0 && tally.passed > 0 ? 0 : 1;
}

}  // namespace virk::test

// The detail is made after the condition ran (it may show what the condition
// left behind), and only on failure.
#define CHECK_THAT(condition, detail)                                                                \
  [&] {                                                                                                \
    const bool ok = bool(condition);                                                                   \
    return ::virk::test::Check(ok, #condition, __LINE__, ok ? std::string() : std::string(detail)); \
  }()
#define CHECK(condition) CHECK_THAT(condition, std::string())
