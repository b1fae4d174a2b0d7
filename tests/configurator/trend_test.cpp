// The trend of the monitoring tab: its bounded store of values.
#include <gtest/gtest.h>

#include <limits>

#include "views/trend_buffer.h"

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
