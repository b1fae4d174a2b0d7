#include "views/monitored_value.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int kShownDecimals = 6;

}  // namespace

QString MonitoredValueText(const QVariant& value) {
  QString text = value.toString();
  if (const qsizetype dot = text.indexOf('.'); dot >= 0) text.truncate(dot + 1 + kShownDecimals);
  return text;
}

int MonitoringIntervalMs(const virk::GroupSettings& group) {
  return int(std::min<uint64_t>(group.PeriodMs(), INT_MAX));
}
