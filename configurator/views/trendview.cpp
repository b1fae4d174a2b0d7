#include "views/trendview.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <limits>

namespace {

// Keeps the extreme values off the chart's edges.
constexpr double kValueMargin = 0.05;
// Six labels over five minutes: one a minute.
constexpr int kTimeTicks = 6;

QString ShortName(const QString& tag) { return tag.mid(tag.lastIndexOf('.') + 1); }

}  // namespace

const QString TrendView::kHintNothingTracked =
    "Выберите теги в таблице мониторинга, чтобы увидеть их тренд";
const QString TrendView::kHintNoValues = "Нет числовых значений выбранных тегов";

TrendView::TrendView(QWidget* parent)
    : QWidget(parent),
      m_chart(new QChart),
      m_view(new QChartView(m_chart, this)),
      m_timeAxis(new QDateTimeAxis(m_chart)),
      m_valueAxis(new QValueAxis(m_chart)) {
  m_timeAxis->setFormat("hh:mm:ss");
  m_timeAxis->setTickCount(kTimeTicks);
  m_timeAxis->setTitleText("Время");
  m_valueAxis->setTitleText("Значение");
  m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
  m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
  m_chart->legend()->setAlignment(Qt::AlignBottom);
  m_view->setRenderHint(QPainter::Antialiasing);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_view);
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  ShowRanges(now - TrendBuffer::kWindowMs, now, 0, 1);
  ShowHint();
}

void TrendView::Track(const QStringList& tags) {
  m_buffer.Track(tags);
  m_chart->removeAllSeries();  // deletes them
  m_series.clear();
  for (const QString& tag : m_buffer.Tracked()) {
    auto* series = new QLineSeries;
    series->setName(ShortName(tag));
    m_chart->addSeries(series);
    series->attachAxis(m_timeAxis);
    series->attachAxis(m_valueAxis);
    m_series.append(series);
  }
  Refresh();
}

void TrendView::AddValue(const QString& tag, const QVariant& value, const QDateTime& time) {
  if (time.isValid()) m_buffer.Add(tag, time.toMSecsSinceEpoch(), value);
}

void TrendView::Refresh() {
  if (m_buffer.Revision() == m_shownRevision) return;
  m_shownRevision = m_buffer.Revision();
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  qint64 oldest = std::numeric_limits<qint64>::max();
  for (qsizetype i = 0; i < m_series.size(); ++i) {
    const QList<TrendPoint> points = m_buffer.Points(m_buffer.Tracked()[i]);
    QList<QPointF> shown;
    shown.reserve(points.size());
    for (const TrendPoint& point : points) {
      shown.append(QPointF(double(point.timeMs), point.value));
      low = std::min(low, point.value);
      high = std::max(high, point.value);
      oldest = std::min(oldest, point.timeMs);
    }
    m_series[i]->replace(shown);  // one repaint per line instead of one per point
  }
  const qint64 newest = m_buffer.NewestTimeMs();
  if (newest > 0) ShowRanges(std::min(oldest, newest), newest, low, high);
  ShowHint();
}

void TrendView::Clear() {
  m_buffer.Clear();
  Refresh();
}

QList<QPointF> TrendView::SeriesPoints(int i) const { return m_series.at(i)->points(); }

QString TrendView::SeriesName(int i) const { return m_series.at(i)->name(); }

void TrendView::ShowRanges(qint64 oldestMs, qint64 newestMs, double low, double high) {
  // The time axis spans what is there (a fresh trend is not squeezed into
  // the corner of the whole window), at least kMinSpanMs, at most the window.
  const qint64 start = std::min(std::max(oldestMs, newestMs - TrendBuffer::kWindowMs), newestMs - kMinSpanMs);
  m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(start), QDateTime::fromMSecsSinceEpoch(newestMs));
  // A flat line gets a range of its own instead of a zero-height axis.
  const double margin = high > low ? (high - low) * kValueMargin : 1.0;
  m_valueAxis->setRange(low - margin, high + margin);
}

void TrendView::ShowHint() {
  if (m_series.isEmpty())
    m_chart->setTitle(kHintNothingTracked);
  else
    m_chart->setTitle(m_buffer.NewestTimeMs() > 0 ? QString() : kHintNoValues);
}
