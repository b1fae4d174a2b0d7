// The configurator's application log: "OPCUAserverGui.log" in the log folder
// under the profile folder, one time-stamped line per message of the "Info"
// and "Warning" categories.
#pragma once

#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcInfo)
Q_DECLARE_LOGGING_CATEGORY(lcWarning)

// "<profile>/Documents/VIRK/OPC UA/<leaf>/"; empty when there is no profile folder.
QString ProfileSubfolder(const QString& leaf);

// Opens the log file for appending and routes every Qt message to it. False
// (and messages stay on standard error) when the file cannot be opened.
bool InstallApplicationLog(const QString& folder);

// One line under "Info" or "Warning"; safe from any thread.
void LogInfo(const QString& message);
void LogWarning(const QString& message);

// "yyyy-MM-dd hh:mm:ss.zzz" + category + ": " + message.
QString FormatLogLine(const QString& time, const char* category, const QString& message);
