#include "platform/date_time.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/test_env.h"

namespace vantrel {
namespace {

TEST(DateTime, KnownDatesAndInvalidOnes) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixEpochDateTime);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
  EXPECT_THROW(EncodeDate(2023, 2, 29), std::invalid_argument);
  EXPECT_THROW(EncodeDate(2024, 13, 1), std::invalid_argument);
  EXPECT_THROW(EncodeTime(24, 0, 0), std::invalid_argument);
}

TEST(DateTime, DecodeGivesTheEncodedPartsRoundedToTheMillisecond) {
  for (const TDateTimeParts& p :
       {TDateTimeParts{2026, 12, 5, 9, 7, 3, 250}, TDateTimeParts{999, 1, 2, 3, 4, 5, 0}}) {
    const TDateTimeParts back = DecodeDateTime(
        EncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond));
    EXPECT_EQ(std::tie(back.Year, back.Month, back.Day, back.Hour, back.Minute, back.Second,
                       back.Millisecond),
              std::tie(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond));
  }
  EXPECT_EQ(DecodeDateTime(EncodeDate(2026, 12, 5)).DayOfWeek, 6);  // a Saturday
  // One tenth of a millisecond before midnight rounds up into the next day.
  const TDateTimeParts p = DecodeDateTime(EncodeDate(2026, 12, 5) + 1.0 - 0.0001 / kMSecsPerDay);
  EXPECT_EQ(std::tie(p.Day, p.Hour, p.Millisecond), std::make_tuple(6, 0, 0));
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
