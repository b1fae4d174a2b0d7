// The OPC UA to plog bridge: which records pass, what text they carry, and
// the two fallback texts.
#include <gtest/gtest.h>
#include <plog/Init.h>
#include <plog/Log.h>

#include <cstdint>
#include <string>

#include "log_capture.h"
#include "server/logging.h"

namespace virk::server {
namespace {

using test::CaptureAppender;

void CallBridge(void* context, UA_LogLevel level, UA_LogCategory category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  UA_Log_PLogOut(context, level, category, format, args);
  va_end(args);
}

std::string Format(const char* categoryName, bool& degraded, const char* format, ...) {
  char buffer[kLogBufferSize];
  va_list args;
  va_start(args, format);
  std::string text = FormatBridgeText(buffer, categoryName, format, args, degraded);
  va_end(args);
  return text;
}

class LogBridge : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static CaptureAppender appender;
    s_Capture = &appender;
    plog::init(plog::verbose, &appender);
  }
  void SetUp() override {
    s_Capture->m_Records.clear();
    plog::get()->setMaxSeverity(plog::verbose);
  }
  const std::vector<test::CapturedRecord>& Records() const { return s_Capture->m_Records; }
  static CaptureAppender* s_Capture;
};
CaptureAppender* LogBridge::s_Capture = nullptr;

TEST_F(LogBridge, MapsLibraryLevelsAndDropsTraceAndUnknownLevels) {
  const struct {
    UA_LogLevel level;
    plog::Severity severity;
  } kWritten[] = {{UA_LOGLEVEL_DEBUG, plog::debug},
                  {UA_LOGLEVEL_INFO, plog::info},
                  {UA_LOGLEVEL_WARNING, plog::warning},
                  {UA_LOGLEVEL_ERROR, plog::error},
                  {UA_LOGLEVEL_FATAL, plog::fatal}};
  for (const auto& row : kWritten) CallBridge(nullptr, row.level, UA_LOGCATEGORY_SERVER, "level %d", int(row.level));
  CallBridge(nullptr, UA_LOGLEVEL_TRACE, UA_LOGCATEGORY_SERVER, "trace");
  CallBridge(nullptr, UA_LogLevel(350), UA_LOGCATEGORY_SERVER, "between levels");

  ASSERT_EQ(Records().size(), std::size(kWritten));
  for (size_t i = 0; i < std::size(kWritten); ++i) {
    EXPECT_EQ(Records()[i].severity, kWritten[i].severity);
    EXPECT_EQ(Records()[i].message, "[server] - level " + std::to_string(int(kWritten[i].level)));
    EXPECT_EQ(Records()[i].function, "UA_Log_PLogOut");
  }
}

TEST_F(LogBridge, PrefixesTheCategoryName) {
  CallBridge(nullptr, UA_LOGLEVEL_INFO, UA_LOGCATEGORY_USERLAND, "Failed to add %s", "COM1");
  CallBridge(nullptr, UA_LOGLEVEL_INFO, UA_LOGCATEGORY_NETWORK, "n");
  CallBridge(nullptr, UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SECURECHANNEL, "c");
  CallBridge(nullptr, UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SECURITYPOLICY, "p");
  ASSERT_EQ(Records().size(), 4u);
  EXPECT_EQ(Records()[0].message, "[userland] - Failed to add COM1");
  EXPECT_EQ(Records()[1].message, "[network] - n");
  EXPECT_EQ(Records()[2].message, "[channel] - c");
  EXPECT_EQ(Records()[3].message, "[securitypolicy] - p");
}

TEST_F(LogBridge, FiltersByContextLevelAndLoggerSeverity) {
  void* warningAndUp = reinterpret_cast<void*>(uintptr_t(UA_LOGLEVEL_WARNING));
  CallBridge(warningAndUp, UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SERVER, "below the context level");
  CallBridge(warningAndUp, UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER, "at the context level");
  plog::get()->setMaxSeverity(plog::error);
  CallBridge(nullptr, UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER, "below the logger severity");
  CallBridge(nullptr, UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "at the logger severity");
  plog::get()->setMaxSeverity(plog::none);
  CallBridge(nullptr, UA_LOGLEVEL_FATAL, UA_LOGCATEGORY_SERVER, "log option none");

  ASSERT_EQ(Records().size(), 2u);
  EXPECT_EQ(Records()[0].message, "[server] - at the context level");
  EXPECT_EQ(Records()[1].message, "[server] - at the logger severity");
}

TEST_F(LogBridge, CutsLongMessagesTo511Bytes) {
  const std::string longText(2000, 'x');
  CallBridge(nullptr, UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SERVER, "%s", longText.c_str());
  ASSERT_EQ(Records().size(), 1u);
  const std::string prefix = "[server] - ";
  EXPECT_EQ(Records()[0].message, prefix + std::string(kLogBufferSize - 1 - prefix.size(), 'x'));
  EXPECT_EQ(Records()[0].severity, plog::info);
}

TEST_F(LogBridge, UnformattableMessageBecomesWarning) {
  // A wide character that has no multibyte form makes vsnprintf fail.
  const wchar_t invalid[] = {wchar_t(0xD800), 0};
  CallBridge(nullptr, UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "%ls", invalid);
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(Records()[0].message, "Log formatting failed");
  EXPECT_EQ(Records()[0].severity, plog::warning);
  EXPECT_EQ(Records()[0].function, "UA_Log_PLogOut");
}

TEST(LogBridgeText, PrefixMustLeaveRoomForTheTerminatingZero) {
  bool degraded = true;
  // "[" + name + "] - " is the name's length plus 5.
  const std::string fits(kLogBufferSize - 1 - 5, 'c');
  EXPECT_EQ(Format(fits.c_str(), degraded, "lost"), "[" + fits + "] - ");
  EXPECT_FALSE(degraded);

  const std::string tooLong(kLogBufferSize - 5, 'c');
  EXPECT_EQ(Format(tooLong.c_str(), degraded, "lost"), "Log prefix too long");
  EXPECT_TRUE(degraded);
}

}  // namespace
}  // namespace virk::server
