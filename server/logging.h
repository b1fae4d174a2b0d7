// The server's one log stream: every message, the program's and the OPC UA
// library's, enters through an OPC UA logger and goes on to plog (a rolling
// file under the profile folder and the console).
#pragma once

#include <open62541/plugin/log.h>

#include <cstdarg>
#include <string>

#include "common/log.h"

namespace virk::server {

// The OPC UA log function forwarding to plog. `context` is a minimum OPC UA
// level cast to a pointer (null: no filter). Records arriving before plog is
// initialised are dropped.
void UA_Log_PLogOut(void* context, UA_LogLevel level, UA_LogCategory category,
                    const char* format, va_list args);

// Size of the bridge's text buffer; a record's text is at most one less.
constexpr size_t kLogBufferSize = 512;

// Builds "[category] - message" in `buffer`. Returns the text to log, which is
// one of the two fallback texts (and sets `degraded`) when the prefix does not
// fit or the message cannot be formatted.
const char* FormatBridgeText(char (&buffer)[kLogBufferSize], const char* categoryName,
                             const char* format, va_list args, bool& degraded);

// The static logger whose log function is UA_Log_PLogOut; the server
// configuration points at it.
UA_Logger* PLogLogger();

// Where the program's own messages go: the library's standard-output logger
// until InitLogging succeeds, the plog bridge afterwards.
const UA_Logger* ActiveLogger();

// Sends the model's and the engine's messages (common/log.h) to ActiveLogger.
void RouteModelLogToActiveLogger();

// Logs "LOG level - <option>", creates `logFolder` with its parents, makes it
// and its files owner-only, and opens "OPCUAserver.log" there (10,000,000
// bytes, 10 files) plus the colour console. Every file the process creates
// afterwards is owner-only. Once per process. False with a reason when the
// folder cannot be made or closed to others.
bool InitLogging(const std::string& logFolder, const std::string& levelOption, std::string& error);

void ServerLog(UA_LogLevel level, UA_LogCategory category, const char* format, ...)
    __attribute__((format(VIRK_PRINTF_FORMAT, 3, 4)));

}  // namespace virk::server
