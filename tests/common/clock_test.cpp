#include <gtest/gtest.h>

#include <QDateTime>

#include "tavlo/clock.h"

TEST(Clock, NowCountsDaysSince1899InLocalTime) {
    const QDateTime local = QDateTime::currentDateTime();
    const double expected = QDate(1899, 12, 30).daysTo(local.date()) +
                            local.time().msecsSinceStartOfDay() / 86400000.0;
    EXPECT_NEAR(Now(), expected, 2.0 / SecondsPerDay);
    EXPECT_DOUBLE_EQ(DateTimeFromLocalUnixSeconds(0), 25569.0);
}
