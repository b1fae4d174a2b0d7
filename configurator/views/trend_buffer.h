// The recent numeric values of the tags the trend follows: per tag a window of
// at most kMaxPoints points no older than kWindowMs before that tag's newest
// one. Only tracked tags are stored, so memory stays bounded however many
// values arrive.
#pragma once

#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariant>

struct TrendPoint {
  qint64 timeMs;  // since the epoch
  double value;
  bool operator==(const TrendPoint& other) const {
    return timeMs == other.timeMs && value == other.value;
  }
};

class TrendBuffer {
 public:
  static constexpr int kMaxPoints = 600;
  static constexpr qint64 kWindowMs = 5 * 60 * 1000;

  // Follows `tags` (in this order, repeats dropped); points of tags that stay
  // are kept, the others are forgotten.
  void Track(const QStringList& tags);
  const QStringList& Tracked() const { return m_tracked; }

  // Stores a bool (0/1), integer or finite floating point value of a tracked
  // tag; returns false for anything else, which is ignored.
  bool Add(const QString& tag, qint64 timeMs, const QVariant& value);

  // Oldest first.
  QList<TrendPoint> Points(const QString& tag) const { return m_points.value(tag); }
  // Time of the newest point of any tag; 0 when there is none.
  qint64 NewestTimeMs() const;

  // Drops every point; the tracked tags stay.
  void Clear();

  // Grows with every change, so a view redraws only when there is news.
  quint64 Revision() const { return m_revision; }

 private:
  QStringList m_tracked;
  QHash<QString, QList<TrendPoint>> m_points;
  quint64 m_revision = 0;
};
