// The texts the views show: an item's fields, frequencies and response codes.

#include "core/property_format.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/response_codes.h"
#include "core/settings.h"
#include "core/watch_item.h"
#include "platform/date_format.h"
#include "platform/manual_main_loop.h"
#include "support/test_env.h"

namespace vantrel {
namespace {

using TTexts = std::vector<std::pair<int, const char*>>;

class PropertyFormat : public ::testing::Test {
 protected:
  void Expect(const TTexts& texts) const {
    for (const auto& [property, text] : texts)
      EXPECT_EQ(FormatProperty(Item, property, Preferences), text) << PropertyCaption(property);
  }

  test::TLocaleGuard Locale{"C"};
  TManualClock Clock;
  TWatchItem Item{Clock};
  TPreferences Preferences;
};

TEST(FrequencyText, EachUnitTruncatesToWholeUnits) {
  const std::pair<int, const char*> texts[] = {
      {1, "1 second(s)"},     {59, "59 second(s)"}, {60, "1 minute(s)"}, {119, "1 minute(s)"},
      {3599, "59 minute(s)"}, {3600, "1 hour(s)"},  {7200, "2 hour(s)"},
  };
  for (const auto& [seconds, text] : texts)
    EXPECT_EQ(FrequencyText(seconds), text);
}

TEST(HttpCodeText, OwnCodesAndTheTablesEndsHaveTextsOtherCodesNone) {
  const std::pair<int, const char*> texts[] = {
      {0, "Not Responded"},     {100, "Continue"},    {220, "Search Content Failed"},
      {305, "Use Proxy"},       {412, "Unless True"}, {420, "Connection Failed"},
      {504, "Gateway Timeout"},
  };
  for (const auto& [code, text] : texts)
    EXPECT_EQ(HttpCodeText(code), text) << code;
  for (const int code : {-1, 99, 207, 306, 413, 421, 505})
    EXPECT_EQ(HttpCodeText(code), "") << code;
}

// The captions of the known fields are the table's and the details' tests.
TEST_F(PropertyFormat, UnknownFieldsHaveNoCaptionAndNoText) {
  EXPECT_EQ(PropertyCaption(0), "");
  EXPECT_EQ(PropertyCaption(22), "");
  Expect({{0, ""}, {22, ""}, {-3, ""}});
}

TEST_F(PropertyFormat, NeverCheckedItemShowsNoData) {
  Expect({{kPropertyLastResponseText, "no data"},
          {kPropertyLastResponseTime, "no data"},
          {kPropertyAvgResponseTime, "no data"},
          {kPropertyTimesChecked, "no data"},
          {kPropertyTimesFailed, "no failed"},
          {kPropertyFailurePercent, "no data"},
          {kPropertyLastFailure, "no data"},
          {kPropertyLastSuccess, "no data"},
          {kPropertyConsecutiveFailures, "0"},
          {kPropertyConsecutiveSuccesses, "0"},
          {kPropertyStatus, "Up"},
          {kPropertyActive, "Active"},
          {kPropertyCheckType, "by Ping"},
          {kPropertyFrequency, "1 minute(s)"}});
}

TEST_F(PropertyFormat, CheckedItemShowsNumbersCodeTextAndDates) {
  Item.LastResponseText = "<html>page</html>";
  Item.LastResponseCode = 404;
  Item.LastResponseTime = 120;
  Item.AvgResponseTime = 95;
  Item.TimesChecked = 3;
  Item.TimesFailed = 2;
  Item.ConsecutiveFailures = 1;
  Item.ConsecutiveSuccesses = 4;
  Item.LastFailure = Item.LastSuccess = EncodeDateTime(2026, 1, 5, 14, 30, 15);
  Item.Created = EncodeDate(2026, 1, 5);  // midnight keeps its time
  Item.SetNextRun(Item.LastFailure);
  Expect({{kPropertyLastResponseText, "Not Found"},  // the code's text, not the page
          {kPropertyLastResponseTime, "120 milli-second(s)"},
          {kPropertyAvgResponseTime, "95 milli-second(s)"},
          {kPropertyTimesChecked, "3"},
          {kPropertyTimesFailed, "2"},
          {kPropertyFailurePercent, "66%"},
          {kPropertyConsecutiveFailures, "1"},
          {kPropertyConsecutiveSuccesses, "4"},
          {kPropertyLastFailure, "01/05/26 14:30:15"},
          {kPropertyLastSuccess, "01/05/26 14:30:15"},
          {kPropertyNextRun, "01/05/26 14:30:15"},
          {kPropertyCreated, "01/05/26 00:00:00"}});
  Item.LastResponseCode = 299;
  Item.LastResponseTime = -1;
  Item.TimesChecked = 2'000'000'000;  // times 100 leaves 32 bits
  Item.TimesFailed = 1'000'000'000;
  Item.Created = 0;
  Expect({{kPropertyLastResponseText, ""},
          {kPropertyLastResponseTime, "no data"},
          {kPropertyFailurePercent, "50%"},
          {kPropertyCreated, "no data"}});
}

TEST_F(PropertyFormat, SuspendedItemAndSettingsTexts) {
  Item.Url = "https://example.org/";
  Item.CheckType = TCheckType::Pop3;
  Item.SetFrequency(300);
  Item.SetActive(false);
  Expect({{kPropertyNextRun, "suspended"},
          {kPropertyActive, "Suspended"},
          {kPropertyStatus, "Suspended"},
          {kPropertyUrl, "https://example.org/"},
          {kPropertyCheckType, "POP3"},
          {kPropertyFrequency, "5 minute(s)"}});
}

TEST_F(PropertyFormat, LocalItemShowsRootAndTheSenderServiceItemItsUser) {
  Item.Name = "shop";
  Item.UserFullName = "Jane Doe";
  Item.UserEmail = "jane@example.org";
  Preferences.Username = "Monitor Desk";
  Preferences.Address = "desk@example.org";
  Expect({{kPropertyName, "shop"},
          {kPropertyUsername, "root"},
          {kPropertyUserFullName, "Monitor Desk"},
          {kPropertyUserEmail, "desk@example.org"}});
  Item.Username = "jdoe";
  Expect({{kPropertyName, "Jane Doe_shop"},
          {kPropertyUsername, "jdoe"},
          {kPropertyUserFullName, "Jane Doe"},
          {kPropertyUserEmail, "jane@example.org"}});
  EXPECT_EQ(Item.DisplayName(), "jdoe_shop");
}

}  // namespace
}  // namespace vantrel
