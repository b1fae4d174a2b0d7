#include "server_process/run_parameters.h"

#include <array>

QString RunLogLevelName(int index) {
  static const std::array<const char*, 7> kNames = {"none",    "fatal", "error",  "warning",
                                                    "info",    "debug", "verbose"};
  if (index < 0 || index >= int(kNames.size())) return "warning";
  return kNames[size_t(index)];
}

virk::StartOptions RunStartOptions(const QStringList& parameters) {
  const auto at = [&parameters](int index) { return parameters.value(index).toStdString(); };
  virk::StartOptions options;
  options.port = at(kRunPort);
  options.log = at(kRunLogLevel);
  options.allowanonimus = at(kRunAnonymous);
  options.derFile = at(kRunCertFile);
  options.pemFile = at(kRunKeyFile);
  options.trustFolder = at(kRunTrustFolder);
  return options;
}
