#include "platform/date_format.h"

#include <gtest/gtest.h>

#include <limits>

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

}  // namespace
}  // namespace vantrel
