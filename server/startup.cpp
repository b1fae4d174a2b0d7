#include "server/startup.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/csv_loader.h"
#include "common/options.h"
#include "server/exchange/server_item_factory.h"
#include "platform/platform.h"
#include "server/address_space.h"
#include "server/create.h"
#include "server/logging.h"
#include "server/server_context.h"

namespace virk::server {
namespace {

// Static, not in the context: the handler's thread may outlive main's locals.
std::atomic<bool> g_running{true};

void OnConsoleControl() {
  ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SERVER, "received ctrl-c");
  g_running = false;
}

bool WantsHelp(int argc, char** argv) {
  if (argc < 2) return true;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-help") == 0) return true;
  return false;
}

int Fail(const char* message) {
  ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "%s", message);
  return kExitFailed;
}

// The library's loop with a flag another thread may clear; the loop wakes at
// least every few hundred milliseconds to look at it.
int Serve(UA_Server* server, uint16_t port) {
  std::string error;
  if (!platform::TcpPortFree(port, error)) {
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "Port %u is already in use (%s), exit", unsigned(port),
              error.c_str());
    return kExitFailed;
  }
  UA_StatusCode status = UA_Server_run_startup(server);
  if (status == UA_STATUSCODE_GOOD) {
    while (g_running.load()) UA_Server_run_iterate(server, true);
    status = UA_Server_run_shutdown(server);
  }
  if (status != UA_STATUSCODE_GOOD)
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "Server loop ended with %s", UA_StatusCode_name(status));
  return status == UA_STATUSCODE_GOOD ? kExitOk : kExitFailed;
}

}  // namespace

int RunServer(int argc, char** argv) {
  platform::InstallConsoleControlHandler(OnConsoleControl);
  if (WantsHelp(argc, argv)) {
    std::fputs(kHelpText, stdout);
    return kExitOk;
  }

  const std::optional<std::string> profile = platform::ProfileFolder();
  if (!profile) return Fail("Neither USERPROFILE nor HOME is set: no folder for the log, exit");
  platform::InstallCrashHandler(*profile + kDumpSubfolder, kDumpNameFormat);

  // Record errors of the file reach standard output now and the log later.
  RouteModelLogToActiveLogger();
  ServerContext context;
  context.configPath = argv[1];
  const CServerItemFactory factory;
  auto root = std::make_unique<CTreeItemRoot>();
  CCsvLoader loader(*root, factory);
  // A file of one bad record repeated would print hundreds of thousands of lines.
  loader.SetRecordErrorLogLimit(kRecordErrorsShown);
  if (!loader.Load(context.configPath)) return Fail("Failed call Load, exit");
  context.global.SetRoot(std::move(root));

  std::vector<std::string> options;
  if (readParametrsStart(context.configPath, options) != 0) return Fail("Failed call readParametrsStart, exit");
  const std::string logOption = ApplyStartOptions(options, context);

  const std::string logFolder = *profile + kLogSubfolder;
  std::string error;
  if (!InitLogging(logFolder, logOption, error)) {
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "Failed to create the log folder %s: %s, exit",
              logFolder.c_str(), error.c_str());
    return kExitFailed;
  }

  if (Create(context) != UA_STATUSCODE_GOOD) return Fail("Failed call Create, exit");

  const auto started = std::chrono::steady_clock::now();
  if (!DefineAddressSpace(context)) return Fail("Failed call DefineAddressSpace, exit");
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SERVER, "Add variable time (seconds): %f", elapsed.count());

  if (!CreateMethods(context)) return Fail("Failed call CreateMethods, exit");
  return Serve(context.server, context.port);
}

}  // namespace virk::server
