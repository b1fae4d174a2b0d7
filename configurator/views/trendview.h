// The trend of the monitoring tab: a line per selected tag over the last
// minutes. Values are only stored on arrival; Refresh, on the window's repaint
// timer, redraws the chart from them, so a flood of values costs no painting.
#pragma once

#include <QDateTime>
#include <QPointF>
#include <QWidget>

#include "views/trend_buffer.h"

class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

class TrendView : public QWidget {
  Q_OBJECT

 public:
  // The shortest time the x axis spans, so a fresh trend is not a vertical line.
  static constexpr qint64 kMinSpanMs = 10000;
  static const QString kHintNothingTracked;
  static const QString kHintNoValues;

  explicit TrendView(QWidget* parent = nullptr);

  // Follows `tags` ("Channel.Device.Group.Tag"), one line each, named by the
  // text after the last '.'.
  void Track(const QStringList& tags);
  // Non-numeric values and invalid times are ignored.
  void AddValue(const QString& tag, const QVariant& value, const QDateTime& time);
  // Redraws the lines and axes when values arrived since the last call.
  void Refresh();
  // Forgets every value; the lines stay, empty.
  void Clear();

  const TrendBuffer& Buffer() const { return m_buffer; }
  int SeriesCount() const { return int(m_series.size()); }
  QList<QPointF> SeriesPoints(int i) const;
  QString SeriesName(int i) const;
  const QChart& Chart() const { return *m_chart; }
  const QDateTimeAxis& TimeAxis() const { return *m_timeAxis; }
  const QValueAxis& ValueAxis() const { return *m_valueAxis; }

 private:
  void ShowRanges(qint64 oldestMs, qint64 newestMs, double low, double high);
  void ShowHint();

  TrendBuffer m_buffer;
  quint64 m_shownRevision = 0;
  QChart* m_chart;
  QChartView* m_view;
  QDateTimeAxis* m_timeAxis;
  QValueAxis* m_valueAxis;
  QList<QLineSeries*> m_series;  // in the order of m_buffer.Tracked()
};
