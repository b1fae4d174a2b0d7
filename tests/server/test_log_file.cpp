// The log file InitLogging opens: its place, its line format, the level of
// the "log" option and the roll-over at 10,000,000 bytes. plog keeps one
// logger per process, so the file is opened once and checked in one test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>

#include "server/logging.h"
#include "temp_folder.h"

namespace virk::server {
namespace {

using test::TempFolder;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

// The console appender gets every record too; keep the test output readable.
class SilencedStdout {
 public:
  SilencedStdout() : m_Saved(std::cout.rdbuf(m_Sink.rdbuf())) {}
  ~SilencedStdout() { std::cout.rdbuf(m_Saved); }
  std::string Text() const { return m_Sink.str(); }

 private:
  std::ostringstream m_Sink;
  std::streambuf* m_Saved;
};

TEST(LogFile, FolderThatCannotBeMadeIsReported) {
  TempFolder temp;
  std::ofstream(temp / "Documents") << "a file where the folder should be";
  std::string error;
  EXPECT_FALSE(InitLogging(temp / "Documents/VIRK/OPC UA/Log/", "info", error));
  EXPECT_FALSE(error.empty());
}

TEST(LogFile, WritesTextLinesAtTheOptionLevelAndRolls) {
  TempFolder temp;
  const std::filesystem::path folder = temp / "Documents/VIRK/OPC UA/Log/";
  std::string error;
  ASSERT_TRUE(InitLogging(folder.string(), "warning", error)) << error;
  EXPECT_EQ(ActiveLogger()->log, &UA_Log_PLogOut);

  const std::filesystem::path current = folder / "OPCUAserver.log";
  {
    SilencedStdout silence;
    ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SERVER, "below the option level");
    ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_USERLAND, "Failed to add %s", "COM1");
    EXPECT_NE(silence.Text().find("[userland] - Failed to add COM1"), std::string::npos) << "console copy";
  }
  const std::string first = ReadFile(current);
  const std::regex line(
      "(\xEF\xBB\xBF)?\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} WARN  \\[\\d+\\] "
      "\\[UA_Log_PLogOut@\\d+\\] \\[userland\\] - Failed to add COM1\n");
  EXPECT_TRUE(std::regex_match(first, line)) << first;

  // Each line is about 550 bytes, so 21,000 of them pass the 10,000,000-byte mark once.
  const std::string filler(480, 'f');
  {
    SilencedStdout silence;
    for (int i = 0; i < 21000; ++i) ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "%s", filler.c_str());
  }
  const std::filesystem::path rolled = folder / "OPCUAserver.1.log";
  ASSERT_TRUE(std::filesystem::exists(rolled));
  EXPECT_FALSE(std::filesystem::exists(folder / "OPCUAserver.2.log"));
  EXPECT_GT(std::filesystem::file_size(rolled), 10000000u);
  EXPECT_LT(std::filesystem::file_size(rolled), 10001000u);
  EXPECT_EQ(ReadFile(rolled).rfind(first, 0), 0u) << "the first file keeps its first lines";
  EXPECT_GT(std::filesystem::file_size(current), 0u);
  EXPECT_LT(std::filesystem::file_size(current), 5000000u);
}

}  // namespace
}  // namespace virk::server
