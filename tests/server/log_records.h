// The server's log as a list of texts, for checking the messages an
// operation leaves. Opens the server's log once per test program.
#pragma once

#include <plog/Appenders/IAppender.h>
#include <plog/Log.h>
#include <plog/Record.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "server/logging.h"
#include "temp_folder.h"

namespace virk::server::test {

class LogRecords : public plog::IAppender {
 public:
  // The server's log in a temporary folder, with this appender added.
  static LogRecords& Open() {
    static TempFolder folder;
    static LogRecords records;
    static const bool opened = [] {
      std::string error;
      const bool done = InitLogging(folder.Path() + "/", "debug", error);
      if (done) plog::get()->addAppender(&records);
      return done;
    }();
    records.m_Opened = opened;
    return records;
  }

  void write(const plog::Record& record) override {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Texts.emplace_back(record.getMessage());
  }
  bool Opened() const { return m_Opened; }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Texts.clear();
  }
  // True when a record contains the text.
  bool Contains(const std::string& text) const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return std::any_of(m_Texts.begin(), m_Texts.end(),
                       [&](const std::string& record) { return record.find(text) != std::string::npos; });
  }

 private:
  mutable std::mutex m_Lock;
  std::vector<std::string> m_Texts;
  bool m_Opened = false;
};

}  // namespace virk::server::test
