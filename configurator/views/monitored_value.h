// How the monitoring table shows what arrives: the value's text and the
// subscription interval of a group.
#pragma once

#include <QString>
#include <QVariant>

#include "common/settings.h"

// The value as text, with at most six decimals (integers and booleans unchanged).
QString MonitoredValueText(const QVariant& value);

// The group's polling period in ms, for publishing and sampling.
int MonitoringIntervalMs(const virk::GroupSettings& group);
