// One process-wide log entry point for the model and the engine. The server
// points it at its OPC UA logger (and so at plog); tests may capture it. With
// no function set, messages are dropped.
#pragma once

#include <functional>
#include <string>

namespace virk {

enum class LogLevel { Debug, Info, Warning, Error, Fatal };

// Category codes of the OPC UA logger the server forwards to.
enum LogCategory : int {
  kLogNetwork = 0,
  kLogChannel = 1,
  kLogSession = 2,
  kLogServer = 3,
  kLogClient = 4,
  kLogUserland = 5,
  kLogSecurity = 6,
};

using LogFunction = std::function<void(LogLevel, int category, const std::string& text)>;

// Set while no other thread logs (start-up, tests); returns the previous one.
LogFunction SetLogFunction(LogFunction fn);
// Messages below `level` are dropped before any formatting (Debug: all pass).
void SetLogMinimum(LogLevel level);
// Whether a message of `level` would reach the log function at all.
bool LogEnabled(LogLevel level);
void LogMessage(LogLevel level, int category, const std::string& text);
// A fixed text: it becomes a string only when the level lets it through.
void LogMessage(LogLevel level, int category, const char* text);
// For printf-like functions. mingw's GCC checks "printf" against Microsoft's
// formats; the Windows build uses mingw's C99 printf (__USE_MINGW_ANSI_STDIO),
// whose formats are GNU's.
#ifdef __MINGW32__
#define VIRK_PRINTF_FORMAT __gnu_printf__
#else
#define VIRK_PRINTF_FORMAT __printf__
#endif
void LogFormat(LogLevel level, int category, const char* format, ...)
    __attribute__((format(VIRK_PRINTF_FORMAT, 3, 4)));

}  // namespace virk
