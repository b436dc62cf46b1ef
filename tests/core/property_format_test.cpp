#include "core/property_format.h"

#include <gtest/gtest.h>

#include "core/watch_item.h"
#include "platform/date_format.h"
#include "platform/manual_main_loop.h"
#include "storage/settings.h"
#include "support/test_env.h"

namespace vantrel {
namespace {

class PropertyFormat : public ::testing::Test {
 protected:
  std::string Text(int propertyId) const { return FormatProperty(Item, propertyId, Preferences); }

  test::TLocaleGuard Locale{"C"};
  TManualClock Clock;
  TWatchItem Item{Clock};
  TPreferences Preferences;
};

TEST(FrequencyText, EachUnitTruncatesToWholeUnits) {
  EXPECT_EQ(FrequencyText(1), "1 second(s)");
  EXPECT_EQ(FrequencyText(59), "59 second(s)");
  EXPECT_EQ(FrequencyText(60), "1 minute(s)");
  EXPECT_EQ(FrequencyText(119), "1 minute(s)");
  EXPECT_EQ(FrequencyText(3599), "59 minute(s)");
  EXPECT_EQ(FrequencyText(3600), "1 hour(s)");
  EXPECT_EQ(FrequencyText(7200), "2 hour(s)");
}

TEST_F(PropertyFormat, CaptionsFollowTheFieldNumbers) {
  EXPECT_EQ(PropertyCaption(kPropertyStatus), "Status");
  EXPECT_EQ(PropertyCaption(kPropertyFailurePercent), "Failure (%)");
  EXPECT_EQ(PropertyCaption(kPropertyConsecutiveSuccesses), "Consecutive Successes");
  EXPECT_EQ(PropertyCaption(0), "");
  EXPECT_EQ(PropertyCaption(22), "");
}

TEST_F(PropertyFormat, UnknownPropertyGivesNoText) {
  EXPECT_EQ(Text(0), "");
  EXPECT_EQ(Text(22), "");
  EXPECT_EQ(Text(-3), "");
}

TEST_F(PropertyFormat, NeverCheckedItemShowsNoData) {
  EXPECT_EQ(Text(kPropertyLastResponseText), "no data");
  EXPECT_EQ(Text(kPropertyLastResponseTime), "no data");
  EXPECT_EQ(Text(kPropertyAvgResponseTime), "no data");
  EXPECT_EQ(Text(kPropertyTimesChecked), "no data");
  EXPECT_EQ(Text(kPropertyTimesFailed), "no failed");
  EXPECT_EQ(Text(kPropertyFailurePercent), "no data");
  EXPECT_EQ(Text(kPropertyLastFailure), "no data");
  EXPECT_EQ(Text(kPropertyLastSuccess), "no data");
  EXPECT_EQ(Text(kPropertyConsecutiveFailures), "0");
  EXPECT_EQ(Text(kPropertyConsecutiveSuccesses), "0");
}

TEST_F(PropertyFormat, FailurePercentTruncates) {
  Item.TimesChecked = 3;
  Item.TimesFailed = 1;
  EXPECT_EQ(Text(kPropertyFailurePercent), "33%");
  Item.TimesFailed = 2;
  EXPECT_EQ(Text(kPropertyFailurePercent), "66%");
}

TEST_F(PropertyFormat, FailurePercentOfManyFailuresDoesNotOverflow) {
  Item.TimesChecked = 2'000'000'000;
  Item.TimesFailed = 1'000'000'000;
  EXPECT_EQ(Text(kPropertyFailurePercent), "50%");
}

TEST_F(PropertyFormat, LastResponseTextIsTheCodeTextNotTheStoredPage) {
  Item.LastResponseText = "<html>page</html>";
  Item.LastResponseCode = 404;
  EXPECT_EQ(Text(kPropertyLastResponseText), "Not Found");
  Item.LastResponseCode = 299;
  EXPECT_EQ(Text(kPropertyLastResponseText), "");
  Item.LastResponseCode = 0;
  EXPECT_EQ(Text(kPropertyLastResponseText), "Not Responded");
}

TEST_F(PropertyFormat, NumbersAndTimesOfACheckedItem) {
  Item.LastResponseTime = 120;
  Item.AvgResponseTime = 95;
  Item.TimesChecked = 7;
  Item.TimesFailed = 2;
  Item.ConsecutiveFailures = 1;
  Item.ConsecutiveSuccesses = 4;
  EXPECT_EQ(Text(kPropertyLastResponseTime), "120 milli-second(s)");
  EXPECT_EQ(Text(kPropertyAvgResponseTime), "95 milli-second(s)");
  EXPECT_EQ(Text(kPropertyTimesChecked), "7");
  EXPECT_EQ(Text(kPropertyTimesFailed), "2");
  EXPECT_EQ(Text(kPropertyConsecutiveFailures), "1");
  EXPECT_EQ(Text(kPropertyConsecutiveSuccesses), "4");
  Item.LastResponseTime = -1;
  EXPECT_EQ(Text(kPropertyLastResponseTime), "no data");
}

TEST_F(PropertyFormat, DatesUseTheLocaleShortDateAndLongTime) {
  const TDateTime moment = EncodeDateTime(2026, 1, 5, 14, 30, 15);
  Item.LastFailure = moment;
  Item.LastSuccess = moment;
  Item.Created = moment;
  Item.SetNextRun(moment);
  EXPECT_EQ(Text(kPropertyLastFailure), "01/05/26 14:30:15");
  EXPECT_EQ(Text(kPropertyLastSuccess), "01/05/26 14:30:15");
  EXPECT_EQ(Text(kPropertyCreated), "01/05/26 14:30:15");
  EXPECT_EQ(Text(kPropertyNextRun), "01/05/26 14:30:15");
  // Midnight keeps its time, unlike report dates.
  Item.Created = EncodeDate(2026, 1, 5);
  EXPECT_EQ(Text(kPropertyCreated), "01/05/26 00:00:00");
  Item.Created = 0;
  EXPECT_EQ(Text(kPropertyCreated), "no data");
}

TEST_F(PropertyFormat, SuspendedItemShowsSuspendedAsNextRun) {
  Item.SetActive(false);
  EXPECT_EQ(Text(kPropertyNextRun), "suspended");
  EXPECT_EQ(Text(kPropertyActive), "Suspended");
  EXPECT_EQ(Text(kPropertyStatus), "Suspended");
}

TEST_F(PropertyFormat, SettingsTexts) {
  Item.Url = "https://example.org/";
  Item.CheckType = TCheckType::Download;
  Item.SetFrequency(300);
  EXPECT_EQ(Text(kPropertyStatus), "Up");
  EXPECT_EQ(Text(kPropertyUrl), "https://example.org/");
  EXPECT_EQ(Text(kPropertyCheckType), "by Download");
  EXPECT_EQ(Text(kPropertyFrequency), "5 minute(s)");
  EXPECT_EQ(Text(kPropertyActive), "Active");
  Item.CheckType = TCheckType::Pop3;
  EXPECT_EQ(Text(kPropertyCheckType), "POP3");
}

TEST_F(PropertyFormat, LocalItemShowsRootAndTheSenderIdentity) {
  Item.Name = "shop";
  Item.UserFullName = "ignored";
  Item.UserEmail = "ignored@example.org";
  Preferences.Username = "Monitor Desk";
  Preferences.Address = "desk@example.org";
  EXPECT_EQ(Text(kPropertyName), "shop");
  EXPECT_EQ(Text(kPropertyUsername), "root");
  EXPECT_EQ(Text(kPropertyUserFullName), "Monitor Desk");
  EXPECT_EQ(Text(kPropertyUserEmail), "desk@example.org");
}

TEST_F(PropertyFormat, ServiceItemShowsItsUserAndPrefixesTheFullName) {
  Item.Name = "shop";
  Item.Username = "jdoe";
  Item.UserFullName = "Jane Doe";
  Item.UserEmail = "jane@example.org";
  Preferences.Username = "Monitor Desk";
  EXPECT_EQ(Text(kPropertyName), "Jane Doe_shop");
  EXPECT_EQ(Text(kPropertyUsername), "jdoe");
  EXPECT_EQ(Text(kPropertyUserFullName), "Jane Doe");
  EXPECT_EQ(Text(kPropertyUserEmail), "jane@example.org");
  EXPECT_EQ(Item.DisplayName(), "jdoe_shop");
}

}  // namespace
}  // namespace vantrel
