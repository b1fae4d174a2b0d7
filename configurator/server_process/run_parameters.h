// The run parameters the configurator hands to the server: its arguments,
// and (from the port on) the options section of the configuration file.
#pragma once

#include <QString>
#include <QStringList>

#include "common/options.h"

enum RunParameter : int {
  kRunConfigPath = 0,
  kRunPort,
  kRunLogLevel,
  kRunAnonymous,  // "true" or "false"
  kRunCertFile,
  kRunKeyFile,
  kRunTrustFolder,
  kRunParameterCount
};

// The option word of the log level box's entry; "warning" when there is none.
QString RunLogLevelName(int index);

// Parameters kRunPort..kRunTrustFolder of a complete list.
virk::StartOptions RunStartOptions(const QStringList& parameters);
