// The trend of the monitoring tab: its bounded store of values and the chart
// drawn from it.
#include <gtest/gtest.h>

#include <QChart>
#include <QDateTimeAxis>
#include <QValueAxis>
#include <limits>

#include "views/trendview.h"

namespace {

const QString kA = "Ch.Dev.G.Temp";
const QString kB = "Ch.Dev.G.Pump";
constexpr qint64 kT0 = 1'700'000'000'000;

}  // namespace

TEST(TrendBuffer, KeepsRecentNumbersOfTrackedTagsWithinCountAndTime) {
  TrendBuffer buffer;
  buffer.Track({kA, kB, kA});
  EXPECT_EQ(buffer.Tracked(), (QStringList{kA, kB}));

  EXPECT_FALSE(buffer.Add("Ch.Dev.G.Other", kT0, 1.0)) << "untracked";
  EXPECT_FALSE(buffer.Add(kA, kT0, QString("12"))) << "text, even numeric-looking";
  EXPECT_FALSE(buffer.Add(kA, kT0, QVariant()));
  EXPECT_FALSE(buffer.Add(kA, kT0, std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(buffer.Add(kA, kT0, -std::numeric_limits<float>::infinity()));
  EXPECT_TRUE(buffer.Points(kA).isEmpty());
  EXPECT_TRUE(buffer.Points("Ch.Dev.G.Other").isEmpty());

  EXPECT_TRUE(buffer.Add(kA, kT0, true));
  EXPECT_TRUE(buffer.Add(kA, kT0 + 1, -3));
  EXPECT_TRUE(buffer.Add(kA, kT0 + 2, 7u));
  EXPECT_TRUE(buffer.Add(kA, kT0 + 3, qlonglong(1) << 40));
  EXPECT_TRUE(buffer.Add(kA, kT0 + 4, 2.5f));
  EXPECT_TRUE(buffer.Add(kA, kT0 + 4, false)) << "same time is fine";
  EXPECT_EQ(buffer.Points(kA),
            (QList<TrendPoint>{{kT0, 1}, {kT0 + 1, -3}, {kT0 + 2, 7}, {kT0 + 3, 1099511627776.0},
                               {kT0 + 4, 2.5}, {kT0 + 4, 0}}));

  // By time: exactly the window back stays, one millisecond more goes.
  buffer.Add(kA, kT0 + TrendBuffer::kWindowMs, 9.0);
  EXPECT_EQ(buffer.Points(kA).size(), 7);
  buffer.Add(kA, kT0 + TrendBuffer::kWindowMs + 1, 9.5);
  ASSERT_EQ(buffer.Points(kA).size(), 7);
  EXPECT_EQ(buffer.Points(kA).first(), (TrendPoint{kT0 + 1, -3}));

  // By count: the oldest go first.
  for (int i = 0; i < TrendBuffer::kMaxPoints + 10; ++i) buffer.Add(kB, kT0 + i, double(i));
  ASSERT_EQ(buffer.Points(kB).size(), TrendBuffer::kMaxPoints);
  EXPECT_EQ(buffer.Points(kB).first(), (TrendPoint{kT0 + 10, 10}));
  EXPECT_EQ(buffer.Points(kB).last().value, TrendBuffer::kMaxPoints + 9);
  EXPECT_EQ(buffer.NewestTimeMs(), kT0 + TrendBuffer::kWindowMs + 1);

  // A clock set back starts the tag anew instead of drawing backwards.
  buffer.Add(kB, kT0, 4.0);
  EXPECT_EQ(buffer.Points(kB), (QList<TrendPoint>{{kT0, 4}}));

  // A new selection keeps the tags that stay and forgets the others.
  buffer.Track({kB, "Ch.Dev.G.Level"});
  EXPECT_TRUE(buffer.Points(kA).isEmpty());
  EXPECT_FALSE(buffer.Add(kA, kT0 + 5, 1.0));
  EXPECT_EQ(buffer.Points(kB).size(), 1);

  buffer.Clear();
  EXPECT_TRUE(buffer.Points(kB).isEmpty());
  EXPECT_EQ(buffer.NewestTimeMs(), 0);
  EXPECT_TRUE(buffer.Add(kB, kT0, 1)) << "still tracked after clearing";
}

TEST(TrendView, DrawsALinePerTrackedTagOnRefreshWithRangesAroundTheValues) {
  TrendView view;
  EXPECT_EQ(view.SeriesCount(), 0);
  EXPECT_EQ(view.Chart().title(), TrendView::kHintNothingTracked);

  view.Track({kA, kB});
  ASSERT_EQ(view.SeriesCount(), 2);
  EXPECT_EQ(view.SeriesName(0), "Temp");
  EXPECT_EQ(view.SeriesName(1), "Pump");
  EXPECT_EQ(view.Chart().title(), TrendView::kHintNoValues);

  const QDateTime t0 = QDateTime::fromMSecsSinceEpoch(kT0);
  view.AddValue(kA, 20.5, t0);
  view.AddValue(kB, true, t0.addMSecs(500));
  view.AddValue(kB, QString("off"), t0.addMSecs(600));
  view.AddValue(kA, 22, t0.addMSecs(1000));
  view.AddValue(kA, 99.0, QDateTime());
  view.AddValue("Ch.Dev.G.Other", 500.0, t0.addMSecs(9000));
  view.AddValue(kB, false, t0.addMSecs(1500));
  EXPECT_TRUE(view.SeriesPoints(0).isEmpty()) << "values only reach the chart on Refresh";

  view.Refresh();
  EXPECT_EQ(view.SeriesPoints(0), (QList<QPointF>{{double(kT0), 20.5}, {kT0 + 1000.0, 22}}));
  EXPECT_EQ(view.SeriesPoints(1), (QList<QPointF>{{kT0 + 500.0, 1}, {kT0 + 1500.0, 0}}));
  EXPECT_TRUE(view.Chart().title().isEmpty());
  EXPECT_EQ(view.TimeAxis().max(), t0.addMSecs(1500));
  EXPECT_EQ(view.TimeAxis().min(), t0.addMSecs(1500 - TrendView::kMinSpanMs)) << "1.5 s of values span the shortest axis";
  // Every value inside, with a margin no larger than a tenth of their spread.
  EXPECT_LT(view.ValueAxis().min(), 0);
  EXPECT_GT(view.ValueAxis().min(), -2.2);
  EXPECT_GT(view.ValueAxis().max(), 22);
  EXPECT_LT(view.ValueAxis().max(), 24.2);

  view.Track({"Ch.Dev.G.Level"});
  ASSERT_EQ(view.SeriesCount(), 1);
  EXPECT_EQ(view.SeriesName(0), "Level");
  EXPECT_TRUE(view.Buffer().Points(kA).isEmpty());
  view.AddValue("Ch.Dev.G.Level", 5, t0);
  view.AddValue("Ch.Dev.G.Level", 5, t0.addMSecs(100));
  view.Refresh();
  EXPECT_EQ(view.SeriesPoints(0).size(), 2);
  EXPECT_EQ(view.ValueAxis().min(), 4) << "a flat line gets a range of its own";
  EXPECT_EQ(view.ValueAxis().max(), 6);

  view.Clear();
  EXPECT_TRUE(view.SeriesPoints(0).isEmpty());
  EXPECT_EQ(view.Chart().title(), TrendView::kHintNoValues);
  view.Track({});
  EXPECT_EQ(view.Chart().title(), TrendView::kHintNothingTracked);
}
