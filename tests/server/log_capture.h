// A plog appender that keeps the records it gets, for checking what the
// server's log bridge hands to plog.
#pragma once

#include <plog/Appenders/IAppender.h>
#include <plog/Record.h>

#include <string>
#include <vector>

namespace virk::server::test {

struct CapturedRecord {
  plog::Severity severity;
  std::string function;
  std::string message;
};

class CaptureAppender : public plog::IAppender {
 public:
  void write(const plog::Record& record) override {
    m_Records.push_back({record.getSeverity(), record.getFunc(), record.getMessage()});
  }
  std::vector<CapturedRecord> m_Records;
};

}  // namespace virk::server::test
