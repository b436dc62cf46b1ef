// What recorded check results do to an item: counters, running average,
// status and the alarm events.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "core/response_codes.h"
#include "watch_list_fixture.h"

namespace vantrel {
namespace {

using Texts = std::vector<std::string>;

constexpr TDateTime kMinute = 1.0 / 1440.0;

class ItemStatus : public test::TWatchListFixture {
 protected:
  ItemStatus() : Item(Add("site")) {}

  // One step of `item`, a minute after the previous one: S a success (in
  // `time` ms), F a failure (404), C a lost connection (420), R the user's reset.
  void Step(char step, TWatchItem* item = nullptr, std::int32_t time = 100) {
    TWatchItem& target = item ? *item : Item;
    Date += kMinute;
    if (step == 'R')
      List.ResetAlarmRow(RowOf(target));
    else if (step == 'S')
      List.ApplyResult(test::Result(target, true, time, kResponseOk, Date));
    else
      List.ApplyResult(test::Result(target, false, -1, step == 'C' ? 420 : 404, Date));
  }
  void Alarm() { Item.AlarmTrigger = true; }

  TWatchItem& Item;
  TDateTime Date = Clock.Now();
};

TEST_F(ItemStatus, TriggerAndResetCountsDecideTheStatusAndTheAlarmEvents) {
  const struct {
    const char* Case;
    std::int32_t TriggerCount;  // 0: alarm trigger off
    std::int32_t ResetCount;    // 0: alarm reset off
    bool CheckConnection;
    const char* Steps;
    const char* Statuses;  // after each step: Up or Down
    const char* Events;
  } cases[] = {
      {"trigger count 3 alarms once", 3, 0, false, "FFFFF", "UUDDD", "alarm "},
      {"reset count 2 ends it", 1, 2, false, "FSSS", "DDUU", "alarm reset "},
      {"without reset only the user", 1, 0, false, "FSSSR", "DDDDU", "alarm reset "},
      {"trigger off: counted, up", 0, 0, false, "FFFFF", "UUUUU", ""},
      {"lost connection never down", 2, 0, true, "CCCCCCF", "UUUUUUD", "alarm "},
      {"420 without the test", 1, 0, false, "C", "D", "alarm "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    TWatchItem& item = Add(c.Case);
    item.AlarmTrigger = c.TriggerCount > 0;
    item.TriggerCount = c.TriggerCount;
    item.AlarmReset = c.ResetCount > 0;
    item.ResetCount = c.ResetCount;
    item.CheckConnection = c.CheckConnection;
    Events.clear();
    std::string statuses;
    for (const char* step = c.Steps; *step != '\0'; ++step) {
      Step(*step, &item);
      statuses += item.Status() == TWatchStatus::Down ? 'D' : 'U';
    }
    EXPECT_EQ(statuses, c.Statuses);
    std::string events;
    for (const std::string& event : Events)
      events += event.substr(0, event.find(' ') + 1);
    EXPECT_EQ(events, c.Events);
    EXPECT_EQ(ItemView.Row(RowOf(item)).StateImage, static_cast<int>(item.Status()));
    const std::string steps = c.Steps;
    const auto count = [&](std::string_view of) {
      return static_cast<std::int32_t>(
          std::count_if(steps.begin(), steps.end(), [&](char s) { return of.find(s) != of.npos; }));
    };
    EXPECT_EQ(item.TimesChecked, count("SFC"));
    EXPECT_EQ(item.TimesFailed, count("FC"));
  }
}

// The product's width is RunningAverage's own test.
TEST_F(ItemStatus, AverageCountsFailuresAsChecks) {
  Step('S', nullptr, 100);
  Step('S', nullptr, 200);
  EXPECT_EQ(Item.AvgResponseTime, 150);
  Step('F');
  EXPECT_EQ(Item.AvgResponseTime, 150);
  Step('S', nullptr, 300);
  EXPECT_EQ(Item.AvgResponseTime, 187);  // (150 * 3 + 300) / 4, truncated
  EXPECT_EQ(Item.LastResponseTime, 300);
}

TEST_F(ItemStatus, ResultUpdatesDatesCountersAndTheSchedule) {
  Item.SetFrequency(300);
  Step('F');
  EXPECT_EQ(Item.LastFailure, Date);
  EXPECT_DOUBLE_EQ(Item.NextRun(), Date + 5 * kMinute);
  Step('S');
  EXPECT_EQ(Item.LastSuccess, Date);
  EXPECT_EQ(Item.LastResponseCode, kResponseOk);
  EXPECT_EQ(Item.ConsecutiveFailures, 0);
  EXPECT_EQ(Item.ConsecutiveSuccesses, 1);
  Step('F');
  EXPECT_EQ(Item.ConsecutiveSuccesses, 0);
  Item.ProcessResult(THistoryRecord{static_cast<std::uint32_t>(Item.Id() + 1), true, Date, 5, 0});
  EXPECT_EQ(Item.TimesChecked, 3);  // not another item's record
}

TEST_F(ItemStatus, SuspendedItemCountsLateResultsAndEndsAnAlarmSilently) {
  Alarm();
  List.SetItemActive(RowOf(Item), false);
  Step('F');
  EXPECT_EQ(Item.Status(), TWatchStatus::Suspended);
  EXPECT_EQ(Item.TimesFailed, 1);
  List.SetItemActive(RowOf(Item), true);
  Step('F');
  ASSERT_EQ(Item.Status(), TWatchStatus::Down);
  List.SetItemActive(RowOf(Item), false);
  List.SetItemActive(RowOf(Item), true);
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Events, Texts{"alarm site"});
}

TEST_F(ItemStatus, ClearStatsRaisesTheResetFirstAndNothingForASuspendedItem) {
  Alarm();
  Step('F');
  List.SetModified(false);
  std::int32_t failuresSeenByReset = -1;
  List.OnAlarmReset = [&](TWatchItem& item) { failuresSeenByReset = item.TimesFailed; };
  SelectOnly({RowOf(Item)});
  List.ClearStatsSelected();
  EXPECT_EQ(failuresSeenByReset, 1);
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Item.TimesChecked, 0);
  EXPECT_EQ(Item.LastFailure, 0);
  EXPECT_EQ(Item.LastChecked(), Date);  // the schedule stays
  EXPECT_FALSE(List.Modified());        // the data file holds no statistics

  Step('F');
  List.SetItemActive(RowOf(Item), false);
  failuresSeenByReset = -1;
  List.ClearStatsAll();
  EXPECT_EQ(failuresSeenByReset, -1);
  EXPECT_EQ(Item.Status(), TWatchStatus::Suspended);
  EXPECT_EQ(Item.TimesChecked, 0);
}

TEST_F(ItemStatus, SuppressedAlarmsLeaveItemsUpButResultsThatBringThemUpApply) {
  TWatchItem& other = Add("other");
  other.AlarmTrigger = other.AlarmReset = true;
  Step('F', &other);
  Events.clear();
  Alarm();
  List.BeginSuppressAlarms();
  Step('F');
  Step('F');
  Step('S', &other);
  List.EndSuppressAlarms();
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Item.ConsecutiveFailures, 2);
  EXPECT_EQ(other.Status(), TWatchStatus::Up);
  EXPECT_EQ(Events, Texts{"reset other"});
  Step('F');
  EXPECT_EQ(Item.Status(), TWatchStatus::Down);
}

TEST_F(ItemStatus, ReplayClearsRebuildsAndRaisesNoAlarm) {
  Alarm();
  Step('F');
  Events.clear();
  List.SetTableView(true);
  List.SetupColumns();
  List.BeginReplay();
  EXPECT_EQ(Item.TimesChecked, 0);
  EXPECT_EQ(Events, Texts{"reset site"});  // the cleared alarm
  Step('F');
  Step('F');
  Step('S');
  // Times Checked is the 14th shown field: sub-item 12 after the caption.
  EXPECT_EQ(ItemView.Row(RowOf(Item)).SubItems.at(12), "no data");  // not yet refreshed
  List.EndReplay();
  EXPECT_EQ(List.UpdateCount(), 0);
  EXPECT_EQ(List.SuppressCount(), 0);
  EXPECT_EQ(Item.Status(), TWatchStatus::Up);
  EXPECT_EQ(Events, Texts{"reset site"});
  EXPECT_EQ(ItemView.Row(RowOf(Item)).SubItems.at(12), "3");
}

}  // namespace
}  // namespace vantrel
