// What recorded check results do to an item: counters, running average,
// status and the alarm events.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "core/response_codes.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "watch_list_fixture.h"

namespace vantrel {
namespace {

using test::Result;

constexpr TDateTime kMinute = 1.0 / 1440.0;

class ItemStatus : public test::TWatchListFixture {
 protected:
  ItemStatus() : Item(Add("site")) {}

  // The next result, one minute after the previous one.
  void Check(bool success, std::int32_t code = 0, std::int32_t time = 100) {
    Date += kMinute;
    List.ApplyResult(Result(Item, success, success ? time : -1,
                            success && code == 0 ? kResponseOk : code, Date));
  }
  void Fail(std::int32_t code = 404) { Check(false, code); }
  void Succeed(std::int32_t time = 100) { Check(true, kResponseOk, time); }

  TWatchItem& Item;
  TDateTime Date = Clock.Now();
};

TEST_F(ItemStatus, ThirdConsecutiveFailureRaisesTheAlarmOnce) {
  Item.AlarmTrigger = true;
  Item.TriggerCount = 3;
  Fail();
  Fail();
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_TRUE(Events.empty());
  Fail();
  EXPECT_EQ(Item.Status(), TWatchStatus::Down);
  Fail();
  Fail();
  EXPECT_EQ(Events, std::vector<std::string>{"alarm site"});
  EXPECT_EQ(Item.ConsecutiveFailures, 5);
  EXPECT_EQ(ItemView.Row(RowOf(Item)).StateImage, static_cast<int>(TWatchStatus::Down));
}

TEST_F(ItemStatus, ResetCountOfSuccessesEndsTheAlarm) {
  Item.AlarmTrigger = true;
  Item.AlarmReset = true;
  Item.ResetCount = 2;
  Fail();
  Succeed();
  EXPECT_EQ(Item.Status(), TWatchStatus::Down);
  Succeed();
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  Succeed();
  EXPECT_EQ(Events, (std::vector<std::string>{"alarm site", "reset site"}));
  EXPECT_EQ(ItemView.Row(RowOf(Item)).StateImage, static_cast<int>(TWatchStatus::Up));
}

TEST_F(ItemStatus, WithoutAlarmResetTheItemStaysDownUntilTheUserResetsIt) {
  Item.AlarmTrigger = true;
  Fail();
  for (int i = 0; i < 10; ++i)
    Succeed();
  EXPECT_EQ(Item.Status(), TWatchStatus::Down);
  List.ResetAlarmRow(RowOf(Item));
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Events, (std::vector<std::string>{"alarm site", "reset site"}));
}

TEST_F(ItemStatus, WithoutAlarmTriggerCountersRunButTheItemStaysUp) {
  for (int i = 0; i < 5; ++i)
    Fail();
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Item.TimesChecked, 5);
  EXPECT_EQ(Item.TimesFailed, 5);
  EXPECT_EQ(Item.ConsecutiveFailures, 5);
  EXPECT_TRUE(Events.empty());
}

TEST_F(ItemStatus, LostConnectionIsCountedButNeverTakesTheItemDown) {
  Item.AlarmTrigger = true;
  Item.TriggerCount = 2;
  Item.CheckConnection = true;
  for (int i = 0; i < 6; ++i)
    Fail(kResponseConnectionFailed);
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Item.TimesFailed, 6);
  EXPECT_EQ(Item.ConsecutiveFailures, 6);
  // The connection is back, the site still fails: the count is already past
  // the trigger, so this one failure raises the alarm.
  Fail(404);
  EXPECT_EQ(Item.Status(), TWatchStatus::Down);
  EXPECT_EQ(Events, std::vector<std::string>{"alarm site"});
}

TEST_F(ItemStatus, ConnectionCodeTakesDownAnItemThatDoesNotTestTheConnection) {
  Item.AlarmTrigger = true;
  Fail(kResponseConnectionFailed);
  EXPECT_EQ(Item.Status(), TWatchStatus::Down);
}

TEST_F(ItemStatus, AverageCountsFailuresAsChecks) {
  Succeed(100);
  Succeed(200);
  EXPECT_EQ(Item.AvgResponseTime, 150);
  Fail();
  EXPECT_EQ(Item.AvgResponseTime, 150);
  Succeed(300);
  EXPECT_EQ(Item.AvgResponseTime, 187);  // (150 * 3 + 300) / 4, truncated
  EXPECT_EQ(Item.LastResponseTime, 300);
  EXPECT_EQ(Item.LastResponseCode, kResponseOk);
}

TEST_F(ItemStatus, AverageProductDoesNotOverflowAfterMillionsOfChecks) {
  // 1000 ms times more than 2^31 / 1000 checks leaves 32 bits.
  Item.TimesChecked = INT32_MAX / 1000 + 1;
  Item.AvgResponseTime = 1000;
  Succeed(1000);
  EXPECT_EQ(Item.AvgResponseTime, 1000);

  Item.TimesChecked = 9'999'999;
  Item.AvgResponseTime = 400;
  Succeed(10'400'000);
  EXPECT_EQ(Item.AvgResponseTime, 401);  // 4,010,399,600 / 10,000,000 truncated
  EXPECT_EQ(Item.TimesChecked, 10'000'000);
}

TEST_F(ItemStatus, ResultUpdatesDatesCountersAndTheSchedule) {
  Item.SetFrequency(300);
  Fail();
  EXPECT_EQ(Item.LastFailure, Date);
  EXPECT_EQ(Item.LastChecked(), Date);
  EXPECT_DOUBLE_EQ(Item.NextRun(), Date + 5 * kMinute);
  Succeed();
  EXPECT_EQ(Item.LastSuccess, Date);
  EXPECT_EQ(Item.ConsecutiveFailures, 0);
  EXPECT_EQ(Item.ConsecutiveSuccesses, 1);
  EXPECT_EQ(Item.TimesChecked, 2);
  EXPECT_EQ(Item.TimesFailed, 1);
  Fail();
  EXPECT_EQ(Item.ConsecutiveSuccesses, 0);
  EXPECT_EQ(Item.ConsecutiveFailures, 1);
}

TEST_F(ItemStatus, LateResultOfASuspendedItemCountsButMovesNoStatus) {
  Item.AlarmTrigger = true;
  List.SetItemActive(RowOf(Item), false);
  Fail();
  EXPECT_EQ(Item.Status(), TWatchStatus::Suspended);
  EXPECT_EQ(Item.TimesFailed, 1);
  EXPECT_EQ(Item.ConsecutiveFailures, 1);
  EXPECT_TRUE(Events.empty());
}

TEST_F(ItemStatus, RecordOfAnotherItemIsIgnoredByTheItem) {
  Item.ProcessResult(THistoryRecord{static_cast<std::uint32_t>(Item.Id() + 1), true, Date, 5, 200});
  EXPECT_EQ(Item.TimesChecked, 0);
  EXPECT_EQ(Item.LastResponseCode, -1);
}

TEST_F(ItemStatus, ClearStatsRaisesTheResetWhileTheCountersStillStand) {
  Item.AlarmTrigger = true;
  Fail();
  std::int32_t failuresSeenByReset = -1;
  List.OnAlarmReset = [&](TWatchItem& item) { failuresSeenByReset = item.TimesFailed; };
  List.ClearStatsRow(RowOf(Item));
  EXPECT_EQ(failuresSeenByReset, 1);
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Item.TimesChecked, 0);
  EXPECT_EQ(Item.TimesFailed, 0);
  EXPECT_EQ(Item.LastResponseCode, -1);
  EXPECT_EQ(Item.LastFailure, 0);
  EXPECT_EQ(Item.ConsecutiveFailures, 0);
  EXPECT_EQ(Item.LastChecked(), Date);  // the schedule stays
}

TEST_F(ItemStatus, ClearStatsOfASuspendedItemRaisesNothing) {
  Item.AlarmTrigger = true;
  Fail();
  List.SetItemActive(RowOf(Item), false);
  Events.clear();
  List.ClearStatsRow(RowOf(Item));
  EXPECT_TRUE(Events.empty());
  EXPECT_EQ(Item.Status(), TWatchStatus::Suspended);
  EXPECT_EQ(Item.TimesChecked, 0);
}

TEST_F(ItemStatus, SuspendingAnItemInAlarmEndsItSilently) {
  Item.AlarmTrigger = true;
  Fail();
  List.SetItemActive(RowOf(Item), false);
  List.SetItemActive(RowOf(Item), true);
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Events, std::vector<std::string>{"alarm site"});
}

TEST_F(ItemStatus, SuppressedAlarmsLeaveItemsUpButResultsThatBringThemUpApply) {
  TWatchItem& other = Add("other");
  other.AlarmTrigger = true;
  other.AlarmReset = true;
  List.ApplyResult(Result(other, false, -1, 404, Date));
  ASSERT_EQ(other.Status(), TWatchStatus::Down);
  Events.clear();

  Item.AlarmTrigger = true;
  List.BeginSuppressAlarms();
  Fail();
  Fail();
  List.ApplyResult(Result(other, true, 50, 200, Date));
  List.EndSuppressAlarms();

  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Item.ConsecutiveFailures, 2);
  EXPECT_EQ(other.Status(), TWatchStatus::Up);
  EXPECT_EQ(Events, std::vector<std::string>{"reset other"});
  // Once alarms are allowed again the next failure counts as usual.
  Fail();
  EXPECT_EQ(Item.Status(), TWatchStatus::Down);
}

TEST_F(ItemStatus, ResultOfADeletedItemOnlyRaisesMaxId) {
  List.ApplyResult(THistoryRecord{7, false, Date, -1, 404});
  EXPECT_EQ(List.MaxId(), 7);
  EXPECT_EQ(Item.TimesChecked, 0);
  EXPECT_EQ(List.NextId(), 8);
}

TEST_F(ItemStatus, MaxIdComparesSigned) {
  List.ApplyResult(THistoryRecord{5, true, Date, 10, 200});
  List.ApplyResult(THistoryRecord{0xFFFFFFFFu, true, Date, 10, 200});  // Id -1
  EXPECT_EQ(List.MaxId(), 5);
}

TEST_F(ItemStatus, ResultRefreshesTheRowOnlyOutsideAnUpdate) {
  const int row = RowOf(Item);
  const int repaints = ItemView.Row(row).Repaints;
  Fail();
  EXPECT_EQ(ItemView.Row(row).Repaints, repaints + 1);
  List.BeginUpdate();
  Fail();
  List.EndUpdate();
  EXPECT_EQ(ItemView.Row(row).Repaints, repaints + 1);
}

TEST_F(ItemStatus, ReplayClearsRebuildsAndRaisesNoAlarm) {
  Item.AlarmTrigger = true;
  Fail();
  ASSERT_EQ(Item.Status(), TWatchStatus::Down);
  Events.clear();
  List.SetTableView(true);
  List.SetupColumns();

  List.BeginReplay();
  EXPECT_EQ(Item.TimesChecked, 0);
  EXPECT_EQ(Events, std::vector<std::string>{"reset site"});  // the cleared alarm
  Fail();
  Fail();
  Succeed(80);
  EXPECT_EQ(ItemView.Row(RowOf(Item)).SubItems.at(12), "no data");  // not yet refreshed
  List.EndReplay();

  EXPECT_EQ(List.UpdateCount(), 0);
  EXPECT_EQ(List.SuppressCount(), 0);
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Item.TimesChecked, 3);
  EXPECT_EQ(Events, std::vector<std::string>{"reset site"});
  // Times Checked is the 14th shown field: sub-item 12 after the caption.
  EXPECT_EQ(ItemView.Row(RowOf(Item)).SubItems.at(12), "3");
}

}  // namespace
}  // namespace vantrel
