#include "platform/date_time.h"

#include <gtest/gtest.h>

#include "support/test_env.h"

namespace vantrel {
namespace {

TEST(DateTime, DayZeroAndKnownDates) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixEpochDateTime);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
}

TEST(DateTime, InvalidDatesAndTimesAreRefused) {
  EXPECT_THROW(EncodeDate(2023, 2, 29), std::invalid_argument);
  EXPECT_THROW(EncodeDate(2024, 13, 1), std::invalid_argument);
  EXPECT_THROW(EncodeTime(24, 0, 0), std::invalid_argument);
  EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
}

TEST(DateTime, DecodeRoundsToTheMillisecondAcrossMidnight) {
  // One tenth of a millisecond before midnight rounds up into the next day.
  const TDateTime almost = EncodeDate(2026, 12, 5) + 1.0 - 0.0001 / kMSecsPerDay;
  const TDateTimeParts p = DecodeDateTime(almost);
  EXPECT_EQ(p.Day, 6);
  EXPECT_EQ(p.Hour, 0);
  EXPECT_EQ(p.Millisecond, 0);
}

TEST(DateTime, EncodeDecodeRoundTripWithWeekday) {
  const TDateTimeParts p = DecodeDateTime(EncodeDateTime(2026, 12, 5, 9, 7, 3, 250));
  EXPECT_EQ(p.Year, 2026);
  EXPECT_EQ(p.Month, 12);
  EXPECT_EQ(p.Day, 5);
  EXPECT_EQ(p.Hour, 9);
  EXPECT_EQ(p.Minute, 7);
  EXPECT_EQ(p.Second, 3);
  EXPECT_EQ(p.Millisecond, 250);
  EXPECT_EQ(p.DayOfWeek, 6);  // a Saturday
}

TEST(DateTime, DatesBeforeDayZeroRoundTrip) {
  const TDateTimeParts p = DecodeDateTime(EncodeDateTime(999, 1, 2, 3, 4, 5));
  EXPECT_EQ(p.Year, 999);
  EXPECT_EQ(p.Day, 2);
  EXPECT_EQ(p.Hour, 3);
  EXPECT_EQ(p.Second, 5);
}

TEST(DateTime, SystemClockIsReadAsLocalTime) {
  test::TTimeZoneGuard zone("EST5");
  // 2026-12-05 14:07:03.500 UTC is 09:07:03.500 five hours west.
  const auto point = std::chrono::sys_days{std::chrono::year{2026} / 12 / 5} +
                     std::chrono::hours{14} + std::chrono::minutes{7} +
                     std::chrono::milliseconds{3500};
  const TDateTime local = DateTimeFromTimePoint(point);
  EXPECT_NEAR(local, EncodeDateTime(2026, 12, 5, 9, 7, 3, 500), 0.5 / kMSecsPerDay);
  EXPECT_EQ(TimePointFromDateTime(local), point);
}

}  // namespace
}  // namespace vantrel
