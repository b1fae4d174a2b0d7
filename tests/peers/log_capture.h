// Collects the records sent through virk::LogMessage while it lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "common/log.h"

namespace virk::test {

class LogCapture {
 public:
  LogCapture() {
    m_Previous = SetLogFunction([this](LogLevel level, int, const std::string& text) {
      std::lock_guard<std::mutex> lock(m_Mutex);
      m_Records.push_back({level, text});
    });
  }
  ~LogCapture() { SetLogFunction(std::move(m_Previous)); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  struct Record {
    LogLevel level;
    std::string text;
  };
  std::vector<Record> Records() const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Records;
  }
  // Number of records that contain `part`.
  size_t Count(const std::string& part) const {
    size_t count = 0;
    for (const Record& record : Records())
      if (record.text.find(part) != std::string::npos) ++count;
    return count;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Records.clear();
  }

 private:
  mutable std::mutex m_Mutex;
  std::vector<Record> m_Records;
  LogFunction m_Previous;
};

}  // namespace virk::test
