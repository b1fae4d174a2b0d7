#include "server/logging.h"

#include <open62541/plugin/log_stdout.h>
#include <open62541/types.h>
#include <plog/Appenders/ColorConsoleAppender.h>
#include <plog/Appenders/RollingFileAppender.h>
#include <plog/Formatters/TxtFormatter.h>
#include <plog/Init.h>
#include <plog/Log.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "common/log.h"
#include "common/options.h"
#include "platform/platform.h"

namespace virk::server {
namespace {

constexpr const char* kLogFileName = "OPCUAserver.log";
constexpr size_t kLogFileMaxBytes = 10000000;
constexpr int kLogFileCount = 10;

UA_Logger g_plogLogger{UA_Log_PLogOut, nullptr, [](UA_Logger*) {}};
std::atomic<const UA_Logger*> g_activeLogger{nullptr};

const char* CategoryName(UA_LogCategory category) {
  static const char* const kNames[] = {"network",  "channel",        "session",
                                       "server",   "client",         "userland",
                                       "securitypolicy", "eventloop", "pubsub",
                                       "discovery"};
  const auto index = size_t(category);
  return index < std::size(kNames) ? kNames[index] : "unknown";
}

// The library's console format without its colour codes, which it writes even
// into a pipe or the journal, where they only garble the text.
void PlainStdoutLog(void*, UA_LogLevel level, UA_LogCategory category, const char* format, va_list args) {
  static const char* const kLevelNames[] = {"trace", "debug", "info", "warn", "error", "fatal"};
  static std::mutex mutex;
  int slot = int(level) / 100 - 1;
  if (slot < 0 || slot > 5) slot = 5;
  const UA_Int64 offset = UA_DateTime_localTimeUtcOffset();
  const UA_DateTimeStruct at = UA_DateTime_toStruct(UA_DateTime_now() + offset);
  std::lock_guard<std::mutex> lock(mutex);
  std::printf("[%04u-%02u-%02u %02u:%02u:%02u.%03u (UTC%+05d)] %s/%s\t", at.year, at.month, at.day, at.hour,
              at.min, at.sec, at.milliSec, int(offset / UA_DATETIME_SEC / 36),
              kLevelNames[slot], CategoryName(category));
  std::vprintf(format, args);
  std::printf("\n");
  std::fflush(stdout);
}

UA_Logger g_plainStdoutLogger{PlainStdoutLog, nullptr, [](UA_Logger*) {}};

// Trace (100) has no severity and is never written.
bool SeverityFromUaLevel(UA_LogLevel level, plog::Severity& severity) {
  switch (level) {
    case UA_LOGLEVEL_DEBUG: severity = plog::debug; return true;
    case UA_LOGLEVEL_INFO: severity = plog::info; return true;
    case UA_LOGLEVEL_WARNING: severity = plog::warning; return true;
    case UA_LOGLEVEL_ERROR: severity = plog::error; return true;
    case UA_LOGLEVEL_FATAL: severity = plog::fatal; return true;
    default: return false;
  }
}

UA_LogLevel UaLevelFromModelLevel(LogLevel level) {
  switch (level) {
    case LogLevel::Debug: return UA_LOGLEVEL_DEBUG;
    case LogLevel::Info: return UA_LOGLEVEL_INFO;
    case LogLevel::Warning: return UA_LOGLEVEL_WARNING;
    case LogLevel::Error: return UA_LOGLEVEL_ERROR;
    case LogLevel::Fatal: return UA_LOGLEVEL_FATAL;
  }
  return UA_LOGLEVEL_ERROR;
}

void LogThrough(const UA_Logger* logger, UA_LogLevel level, UA_LogCategory category,
                const char* format, va_list args) {
  if (logger != nullptr && logger->log != nullptr) logger->log(logger->context, level, category, format, args);
}

void LogThrough(const UA_Logger* logger, UA_LogLevel level, UA_LogCategory category, const char* format,
                ...) {
  va_list args;
  va_start(args, format);
  LogThrough(logger, level, category, format, args);
  va_end(args);
}

}  // namespace

const char* FormatBridgeText(char (&buffer)[kLogBufferSize], const char* categoryName,
                             const char* format, va_list args, bool& degraded) {
  degraded = false;
  const int prefix = std::snprintf(buffer, kLogBufferSize, "[%s] - ", categoryName);
  if (prefix < 0 || size_t(prefix) >= kLogBufferSize) {
    degraded = true;
    return "Log prefix too long";
  }
  // A longer message is cut; vsnprintf keeps the terminating zero in the last byte.
  if (std::vsnprintf(buffer + prefix, kLogBufferSize - size_t(prefix), format, args) < 0) {
    degraded = true;
    return "Log formatting failed";
  }
  return buffer;
}

void UA_Log_PLogOut(void* context, UA_LogLevel level, UA_LogCategory category, const char* format,
                    va_list args) {
  const auto minimumLevel = reinterpret_cast<uintptr_t>(context);
  if (minimumLevel != 0 && uintptr_t(level) < minimumLevel) return;
  plog::Severity severity = plog::none;
  if (!SeverityFromUaLevel(level, severity)) return;

  char buffer[kLogBufferSize];
  bool degraded = false;
  const char* text = FormatBridgeText(buffer, CategoryName(category), format, args, degraded);
  if (degraded) severity = plog::warning;

  plog::Logger<PLOG_DEFAULT_INSTANCE_ID>* logger = plog::get();
  if (logger == nullptr || !logger->checkSeverity(severity)) return;
  *logger += plog::Record(severity, "UA_Log_PLogOut", __LINE__, __FILE__, nullptr, PLOG_DEFAULT_INSTANCE_ID)
                 .ref()
             << text;
}

UA_Logger* PLogLogger() { return &g_plogLogger; }

const UA_Logger* ActiveLogger() {
  const UA_Logger* logger = g_activeLogger.load();
  if (logger != nullptr) return logger;
  static const bool terminal = platform::StandardOutputIsTerminal();
  return terminal ? UA_Log_Stdout : &g_plainStdoutLogger;
}

void RouteModelLogToActiveLogger() {
  SetLogFunction([](LogLevel level, int category, const std::string& text) {
    LogThrough(ActiveLogger(), UaLevelFromModelLevel(level), UA_LogCategory(category), "%s", text.c_str());
  });
}

bool InitLogging(const std::string& logFolder, const std::string& levelOption, std::string& error) {
  // The option names match plog severities 0..6.
  const auto severity = plog::Severity(StartLogLevel(levelOption));
  // Records the level drops are not even formatted.
  SetLogMinimum(severity >= plog::debug     ? LogLevel::Debug
                : severity >= plog::info    ? LogLevel::Info
                : severity >= plog::warning ? LogLevel::Warning
                : severity >= plog::error   ? LogLevel::Error
                                            : LogLevel::Fatal);
  ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SERVER, "LOG level - %s",
            levelOption.empty() ? "INFO" : levelOption.c_str());
  // The words are case-sensitive: "Debug" would otherwise look taken.
  if (!StartLogLevelKnown(levelOption))
    ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER,
              "Log option \"%s\" is not a level word (none, fatal, error, warning, info, debug, verbose), logging at info",
              levelOption.c_str());
  if (!platform::MakeFolders(logFolder, error)) return false;
  // The log lists user names and refused logins; older versions left its
  // files readable by all. plog creates its files (a new one at every roll)
  // as the umask allows, so from here on the process creates owner-only.
  if (!platform::RestrictFolderToOwner(logFolder, error)) return false;
  platform::CreateOwnerOnlyFromNowOn();

  static plog::RollingFileAppender<plog::TxtFormatter> fileAppender(
      (std::filesystem::u8path(logFolder) / kLogFileName).c_str(), kLogFileMaxBytes, kLogFileCount);
  static plog::ColorConsoleAppender<plog::TxtFormatter> consoleAppender(plog::streamStdOut);
  plog::init(severity, &fileAppender).addAppender(&consoleAppender);
  g_activeLogger = &g_plogLogger;
  return true;
}

void ServerLog(UA_LogLevel level, UA_LogCategory category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogThrough(ActiveLogger(), level, category, format, args);
  va_end(args);
}

}  // namespace virk::server
