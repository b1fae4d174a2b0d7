#include "log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace virk {
namespace {
LogFunction& Current() {
  static LogFunction fn;
  return fn;
}
// Read on every polling thread for every debug record: an atomic, no lock.
std::atomic<int> g_Minimum{int(LogLevel::Debug)};
}  // namespace

void SetLogMinimum(LogLevel level) { g_Minimum = int(level); }

bool LogEnabled(LogLevel level) { return int(level) >= g_Minimum.load(std::memory_order_relaxed) && Current(); }

LogFunction SetLogFunction(LogFunction fn) {
  LogFunction previous = std::move(Current());
  Current() = std::move(fn);
  return previous;
}

void LogMessage(LogLevel level, int category, const std::string& text) {
  if (LogEnabled(level)) Current()(level, category, text);
}

void LogMessage(LogLevel level, int category, const char* text) {
  if (LogEnabled(level)) Current()(level, category, text);
}

void LogFormat(LogLevel level, int category, const char* format, ...) {
  if (!LogEnabled(level)) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (size > 0) {
    std::vector<char> buffer(size_t(size) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    text.assign(buffer.data(), size_t(size));
  }
  va_end(args);
  LogMessage(level, category, text);
}

}  // namespace virk
