#include "platform/date_format.h"
#include "platform/date_time.h"
#include "platform/mail_date.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <utility>

#include "support/test_env.h"

namespace vantrel {
namespace {

// The "C" locale is on every machine: short date %m/%d/%y, long time %H:%M:%S.
class DateFormatTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(locale_.Ok()); }
  test::TLocaleGuard locale_{"C"};
};

TEST_F(DateFormatTest, DatesTimesAndMonthNamesFollowTheLocale) {
  const TDateTime t = EncodeDateTime(2026, 3, 7, 14, 5, 9);
  EXPECT_EQ(ShortDateText(t), "03/07/26");
  EXPECT_EQ(LongTimeText(t), "14:05:09");
  EXPECT_EQ(TimeStampText(t), "03/07/26 14:05:09");
  EXPECT_EQ(DateTimeText(EncodeDate(2026, 3, 7)), "03/07/26");  // exactly midnight: no time
  EXPECT_EQ(TimeStampText(EncodeDate(2026, 3, 7)), "03/07/26 00:00:00");
  // One millisecond past midnight is not midnight, though the text shows 00:00:00.
  EXPECT_EQ(DateTimeText(EncodeDateTime(2026, 3, 7, 0, 0, 0, 1)), "03/07/26 00:00:00");
  EXPECT_EQ(ShortMonthName(1), "Jan");
  EXPECT_EQ(LongMonthName(12), "December");
  EXPECT_EQ(ShortMonthName(0), "");
  EXPECT_EQ(LongMonthName(13), "");
}

TEST_F(DateFormatTest, NonsenseValuesFromADamagedFileStillFormat) {
  EXPECT_FALSE(ShortDateText(std::numeric_limits<double>::quiet_NaN()).empty());
  EXPECT_FALSE(TimeStampText(1e300).empty());
  EXPECT_EQ(TimeStampText(-1.25), "12/29/99 06:00:00");
}

TEST(Rfc822DateTime, ZoneOffsetAndEnglishNames) {
  {
    test::TTimeZoneGuard zone("EST5");
    EXPECT_EQ(Rfc822DateTime(EncodeDateTime(2026, 12, 5, 9, 7, 3)),
              "Sat, 5 Dec 2026 09:07:03 -0500");
  }
  test::TTimeZoneGuard zone("UTC0");
  EXPECT_EQ(Rfc822DateTime(EncodeDateTime(2024, 2, 29, 23, 59, 59)),
            "Thu, 29 Feb 2024 23:59:59 +0000");
}

TEST(TimeZone, SignAndHalfHourOffsets) {
  for (const auto& [zone, offset] : {std::pair{"UTC0", "+0000"}, std::pair{"IST-5:30", "+0530"},
                                     std::pair{"NST3:30", "-0330"}}) {
    test::TTimeZoneGuard guard(zone);
    EXPECT_EQ(TimeZone(), offset) << zone;
  }
}

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
