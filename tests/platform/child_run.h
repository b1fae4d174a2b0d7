// Runs this test program again as a child for what must happen in a process
// of its own (a crash, a console, another executable path).
#pragma once

#include <string>
#include <vector>

namespace virk::test {

struct ChildOutcome {
  bool started = false;
  bool finished = false;             // false: stopped after the time limit
  unsigned long exitCode = 0;
  unsigned long startError = 0;      // of CreateProcessW when not started
};

// `flags` go to CreateProcessW (CREATE_NEW_CONSOLE and the like); without a
// new console the child's standard output is the file `outputFile`, which
// must be empty or name no console.
ChildOutcome RunChild(const std::wstring& executable, const std::vector<std::wstring>& arguments,
                      unsigned long flags, const std::wstring& outputFile, unsigned long limitMs);

// This program's own path and its wide arguments (the narrow argv cannot
// carry every name).
std::wstring OwnExecutable();
std::vector<std::wstring> WideArguments();

}  // namespace virk::test
