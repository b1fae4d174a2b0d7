// The server program from its arguments to its exit code: help, loading the
// configuration and options, the log, Create, publishing, and the server loop
// until a console control event (SIGINT, SIGTERM, SIGHUP) stops it.
#pragma once

#include <cstddef>

namespace virk::server {

constexpr const char* kHelpText =
    "// Parameters\n// Help - -help\n// Configuration file - <path to file *.cfg>\n";

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

// Record errors of the configuration printed at start-up before the count of the rest.
constexpr size_t kRecordErrorsShown = 100;

// Log and crash-report folders under the user's profile folder.
constexpr const char* kLogSubfolder = "/Documents/VIRK/OPC UA/Log/";
constexpr const char* kDumpSubfolder = "/Documents/VIRK/OPC UA/Dump/";
constexpr const char* kDumpNameFormat = "MemoryServer %Y.%m.%d %H %M %S.dmp";

int RunServer(int argc, char** argv);

}  // namespace virk::server
