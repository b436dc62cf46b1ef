// The user operations of the monitor, their enabling, and checking as the
// connection and the user's pause allow it.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "controller_fixture.h"

namespace vantrel::test {
namespace {

using TControllerActions = TControllerFixture;
using States = std::vector<TConnectState>;
using Texts = std::vector<std::string>;

// Which rows go, and in which order, is the watch list's own test.
TEST_F(TControllerActions, DeleteRemovesTheSelectedItemsAndTheirHistory) {
  Start();
  TWatchItem& a = AddSite("a");
  TWatchItem& b = AddSite("b");
  const std::int32_t ids[] = {a.Id(), b.Id(), AddSite("kept").Id()};
  Advance(100);
  SelectOnly({&a, &b});
  App().acDelete();
  ASSERT_EQ(List().Count(), 1);
  EXPECT_EQ(List().Item(0).Name, "kept");
  EXPECT_TRUE(HistoryOf(ids[0]).empty());
  EXPECT_TRUE(HistoryOf(ids[1]).empty());
  EXPECT_EQ(HistoryOf(ids[2]).size(), 1u);
}

TEST_F(TControllerActions, PropertiesOnlyForOneSelectedRowGiveItTheEditedCopy) {
  Start();
  TWatchItem& a = AddSite("a");
  TWatchItem& b = AddSite("b");
  SelectOnly({&a, &b});
  EXPECT_FALSE(App().Enabled(TAction::acProperties));
  EXPECT_EQ(App().PropertiesTarget(), nullptr);
  TWatchItem edited(Clock);
  edited.Name = "edited";
  EXPECT_FALSE(App().acProperties(edited));
  EXPECT_EQ(a.Name, "a");
  EXPECT_EQ(b.Name, "b");

  List().SetModified(false);
  SelectOnly({&b});
  ASSERT_EQ(App().PropertiesTarget(), &b);
  edited.Assign(b);
  edited.Name = "renamed";
  edited.SetFrequency(300);
  ASSERT_TRUE(App().acProperties(edited));
  EXPECT_EQ(b.Name, "renamed");
  EXPECT_EQ(b.Frequency(), 300);
  EXPECT_EQ(ItemView.Row(RowOf(b)).Caption, "renamed");
  EXPECT_EQ(DetailsView.Value("Name"), "renamed");
  EXPECT_TRUE(List().Modified());
}

TEST_F(TControllerActions, EnablingFollowsTheSelectionTheItemAndTheConnection) {
  Start();
  EXPECT_EQ(Events.ActionUpdates, 0);             // during the start the front cannot ask back
  EXPECT_FALSE(App().Enabled(TAction::acPause));  // nothing to pause
  EXPECT_TRUE(App().Enabled(TAction::acAddNew));
  TWatchItem& a = AddSite("a", 60, false);  // added and selected
  EXPECT_EQ(Events.ActionUpdates, 1);
  Advance(100);
  EXPECT_TRUE(App().Enabled(TAction::acRunNow));
  EXPECT_FALSE(App().Enabled(TAction::acSuspend));
  App().acActivate();
  ASSERT_TRUE(Settle());
  EXPECT_TRUE(App().Enabled(TAction::acSuspend));
  EXPECT_FALSE(App().Enabled(TAction::acActivate));

  TWatchItem& b = AddSite("b", 60, false);
  SelectOnly({&a, &b});
  EXPECT_TRUE(App().Enabled(TAction::acSuspend));
  EXPECT_TRUE(App().Enabled(TAction::acActivate));
  EXPECT_FALSE(App().Enabled(TAction::acGotoUrl));
  const int updates = Events.ActionUpdates;
  SetOnline(false);
  App().RowSelected(0);
  EXPECT_EQ(Events.ActionUpdates, updates + 2);
  EXPECT_FALSE(App().Enabled(TAction::acRunNow));
  EXPECT_TRUE(App().Enabled(TAction::acPause));
  App().acPause();
  EXPECT_FALSE(App().Enabled(TAction::acPause));
}

TEST_F(TControllerActions, ClearStatisticsDeletesTheHistoryAndEndsTheAlarm) {
  Start();
  Checks.Script(Host("a"), TCheckResult{false, 0, 408, ""});
  TWatchItem& a = AddSite("a", 60, true, true);
  TWatchItem& b = AddSite("b");
  Advance(100);
  ASSERT_EQ(a.Status(), TWatchStatus::Down);
  SelectOnly({&a});
  App().acClearStats();
  EXPECT_EQ(a.Status(), TWatchStatus::Up);
  EXPECT_EQ(a.TimesChecked, 0);
  EXPECT_TRUE(HistoryOf(a.Id()).empty());
  EXPECT_EQ(HistoryOf(b.Id()).size(), 1u);
  EXPECT_EQ(Alarms.Lines, (Texts{"DOWN a", "UP a"}));
}

TEST_F(TControllerActions, SaveDataWritesTheListAndFlushesTheHistory) {
  Start();
  const std::int32_t id = AddSite("a").Id();
  Advance(100);
  App().acSaveData();
  EXPECT_EQ(App().History().PendingCount(), 0u);
  TSavedList saved(Dir.Path());
  ASSERT_EQ(saved.List.Count(), 1);
  EXPECT_EQ(saved.List.Item(0).Id(), id);
  EXPECT_EQ(saved.List.Item(0).TimesChecked, 1);
}

TEST_F(TControllerActions, ServiceRecordsDeleteTheHistoryOfItemsDeletedInTheService) {
  Start();
  TServerItem record;
  record.ServiceId = 77;
  record.Name = "served";
  App().ApplyServiceRecords({record});
  ASSERT_EQ(List().Count(), 1);
  const std::int32_t id = List().Item(0).Id();
  Advance(100);
  ASSERT_EQ(HistoryOf(id).size(), 1u);
  record.State = -1;
  App().ApplyServiceRecords({record});
  EXPECT_EQ(List().Count(), 0);
  EXPECT_TRUE(HistoryOf(id).empty());
}

TEST_F(TControllerActions, PreferencesChangedAppliesTheAutosavePeriodAndTheDetails) {
  Start();
  AddSite("a");
  TPreferences preferences = App().Settings().GetPreferences();
  preferences.AutosaveFrequency = 1;
  preferences.Fields[1] = -preferences.Fields[1];  // hides "Name"
  App().Settings().SetPreferences(preferences);
  App().PreferencesChanged();
  EXPECT_EQ(App().Autosave().IntervalMs(), 60u * 1000);
  EXPECT_EQ(DetailsView.Value("Name"), "");
  EXPECT_EQ(DetailsView.Value("URL/IP"), "http://a.test/");
}

// That a result arriving offline or paused is discarded is the result
// handler's own test; the flags it asks are the ones shown here.
TEST_F(TControllerActions, CheckingFollowsTheConnection) {
  Online = false;
  Start();
  EXPECT_EQ(Events.States, States{TConnectState::Disconnected});
  EXPECT_FALSE(App().Scheduler().Running());
  AddSite("a");
  Advance(5000);
  EXPECT_TRUE(Checks.Requests().empty());
  SetOnline(true);
  Advance(100);
  EXPECT_EQ(Checks.Requests().size(), 1u);
  SetOnline(false);
  EXPECT_EQ(Events.States.back(), TConnectState::Disconnected);
  EXPECT_FALSE(App().Scheduler().Running());
  Advance(120000);
  EXPECT_EQ(Checks.Requests().size(), 1u);
  SetOnline(true);
  Advance(100);
  EXPECT_EQ(Checks.Requests().size(), 2u);  // overdue: checked at once when the connection is back
}

TEST_F(TControllerActions, PauseOutlastsConnectionChangesUntilRunNowEndsItAndChecksAllDue) {
  Start();
  AddSite("a");
  TWatchItem& b = AddSite("b");
  AddSite("c");
  Advance(100);
  App().acPause();
  EXPECT_TRUE(App().Paused());
  Advance(120000);
  SetOnline(false);
  SetOnline(true);
  EXPECT_EQ(Events.States, (States{TConnectState::Connected, TConnectState::Paused}));
  EXPECT_EQ(Checks.Requests().size(), 3u);
  SetOnline(false);
  EXPECT_FALSE(App().acRunAllNow());  // not while offline
  SetOnline(true);
  SelectOnly({&b});
  ASSERT_TRUE(App().acRunNow());
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(App().Paused());
  EXPECT_EQ(Events.States.back(), TConnectState::Connected);
  for (const char* name : {"a", "b", "c"})
    EXPECT_EQ(RequestsFor(name), 2u) << name;
  App().acPause();
  ASSERT_TRUE(App().acRunAllNow());
  EXPECT_EQ(ConnectStateText(App().ConnectState()), "Connected");
}

TEST_F(TControllerActions, SchedulerStatusTextsAndCheckErrorsReachTheFront) {
  Start();
  bool thrown = false;
  Checks.OnCreate = [&] {
    if (!std::exchange(thrown, true))
      throw std::runtime_error("no runner for this check");
  };
  AddSite("a");
  Advance(100);
  EXPECT_NE(std::find(Events.Statuses.begin(), Events.Statuses.end(), "Start checking"),
            Events.Statuses.end());
  EXPECT_EQ(Events.Errors, Texts{"no runner for this check"});
  Checks.OnCreate = nullptr;
}

}  // namespace
}  // namespace vantrel::test
