#include "views/trend_buffer.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// The number a value plots as; text and other types have none, so that a
// string that merely looks numeric never lands on the chart.
std::optional<double> Plotted(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double: {
      const double number = value.toDouble();
      if (std::isfinite(number)) return number;
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

void TrendBuffer::Track(const QStringList& tags) {
  m_tracked = tags;
  m_tracked.removeDuplicates();
  // The hash holds exactly the tracked tags, so a value finds out in one
  // look-up whether it is wanted.
  QHash<QString, QList<TrendPoint>> kept;
  for (const QString& tag : m_tracked) kept.insert(tag, m_points.value(tag));
  m_points.swap(kept);
  ++m_revision;
}

bool TrendBuffer::Add(const QString& tag, qint64 timeMs, const QVariant& value) {
  const auto tracked = m_points.find(tag);
  if (tracked == m_points.end()) return false;
  const std::optional<double> number = Plotted(value);
  if (!number) return false;
  QList<TrendPoint>& points = *tracked;
  // A clock set back starts the tag anew: a line that runs back in time
  // would only confuse, and the old points would hide the new ones.
  if (!points.isEmpty() && timeMs < points.last().timeMs) points.clear();
  points.append({timeMs, *number});
  qsizetype stale = 0;
  while (stale < points.size() && points[stale].timeMs < timeMs - kWindowMs) ++stale;
  stale = std::max(stale, points.size() - kMaxPoints);
  points.remove(0, stale);
  ++m_revision;
  return true;
}

qint64 TrendBuffer::NewestTimeMs() const {
  qint64 newest = 0;
  for (const QList<TrendPoint>& points : m_points)
    if (!points.isEmpty()) newest = std::max(newest, points.last().timeMs);
  return newest;
}

void TrendBuffer::Clear() {
  for (QList<TrendPoint>& points : m_points) points.clear();
  ++m_revision;
}
