// The user operations of the monitor and their enabling.

#include <gtest/gtest.h>

#include <string>

#include "app/go_to_url.h"
#include "controller_fixture.h"

namespace vantrel::test {
namespace {

using TControllerActions = TControllerFixture;

TEST_F(TControllerActions, DeleteWithThreeRowsSelectedRemovesTheItemsAndTheirHistory) {
  Start();
  TWatchItem& a = AddSite("a");
  TWatchItem& b = AddSite("b");
  TWatchItem& c = AddSite("c");
  TWatchItem& kept = AddSite("kept");
  Advance(100);
  const std::int32_t ids[] = {a.Id(), b.Id(), c.Id()};
  const std::int32_t keptId = kept.Id();
  for (const std::int32_t id : ids)
    ASSERT_EQ(HistoryOf(id).size(), 1u);

  SelectOnly({&a, &b, &c});
  ASSERT_TRUE(App().Enabled(TAction::acDelete));
  App().acDelete();

  ASSERT_EQ(List().Count(), 1);
  EXPECT_EQ(List().Item(0).Name, "kept");
  EXPECT_EQ(ItemView.RowCount(), 1);
  for (const std::int32_t id : ids)
    EXPECT_TRUE(HistoryOf(id).empty());
  EXPECT_EQ(HistoryOf(keptId).size(), 1u);
}

TEST_F(TControllerActions, PropertiesWithTwoRowsSelectedIsDisabledAndChangesNothing) {
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
}

TEST_F(TControllerActions, PropertiesGivesTheEditedCopyToTheSelectedItem) {
  Start();
  AddSite("a");
  TWatchItem& b = AddSite("b");
  List().SetModified(false);
  SelectOnly({&b});
  TWatchItem* target = App().PropertiesTarget();
  ASSERT_EQ(target, &b);

  TWatchItem scratch(Clock);
  scratch.Assign(*target);
  scratch.Name = "renamed";
  scratch.SetFrequency(300);
  ASSERT_TRUE(App().acProperties(scratch));

  EXPECT_EQ(b.Name, "renamed");
  EXPECT_EQ(b.Frequency(), 300);
  EXPECT_EQ(ItemView.Row(RowOf(b)).Caption, "renamed");
  EXPECT_EQ(DetailsView.Value("Name"), "renamed");
  EXPECT_TRUE(List().Modified());
}

TEST_F(TControllerActions, EnablingFollowsTheSelectionTheItemAndTheConnection) {
  Start();
  EXPECT_FALSE(App().Enabled(TAction::acPause));  // nothing to pause
  EXPECT_FALSE(App().Enabled(TAction::acRunAllNow));
  EXPECT_TRUE(App().Enabled(TAction::acAddNew));

  TWatchItem& a = AddSite("a");  // added and selected
  EXPECT_TRUE(App().Enabled(TAction::acRunNow));
  EXPECT_TRUE(App().Enabled(TAction::acSuspend));
  EXPECT_FALSE(App().Enabled(TAction::acActivate));

  App().acSuspend();
  EXPECT_FALSE(a.Active());
  EXPECT_FALSE(App().Enabled(TAction::acSuspend));
  EXPECT_TRUE(App().Enabled(TAction::acActivate));

  TWatchItem& b = AddSite("b");
  SelectOnly({&a, &b});
  EXPECT_TRUE(App().Enabled(TAction::acSuspend));
  EXPECT_TRUE(App().Enabled(TAction::acActivate));
  EXPECT_FALSE(App().Enabled(TAction::acGotoUrl));

  SetOnline(false);
  EXPECT_FALSE(App().Enabled(TAction::acRunNow));
  EXPECT_FALSE(App().Enabled(TAction::acRunAllNow));
  EXPECT_TRUE(App().Enabled(TAction::acPause));
  App().acPause();
  EXPECT_FALSE(App().Enabled(TAction::acPause));
}

TEST_F(TControllerActions, ActionsAndConnectionChangesTellTheFrontToUpdateItsActions) {
  Start();
  EXPECT_EQ(Events.ActionUpdates, 0);  // during the start the front cannot ask back
  AddSite("a");
  EXPECT_EQ(Events.ActionUpdates, 1);
  SetOnline(false);
  EXPECT_EQ(Events.ActionUpdates, 2);
  App().RowSelected(0);
  EXPECT_EQ(Events.ActionUpdates, 3);
}

TEST_F(TControllerActions, ActivateMakesASuspendedItemDueAndChecksIt) {
  Start();
  TWatchItem& a = AddSite("a", 60, false);
  Advance(100);
  EXPECT_EQ(RequestsFor("a"), 0u);
  SelectOnly({&a});
  App().acActivate();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(RequestsFor("a"), 1u);
}

TEST_F(TControllerActions, ClearStatisticsDeletesTheHistoryAndEndsTheAlarm) {
  Start();
  Checks.Script(Host("a"), TCheckResult{false, 0, 408, ""});
  TWatchItem source(Clock);
  source.Name = "a";
  source.Url = Host("a");
  source.CheckType = TCheckType::Download;
  source.AlarmTrigger = true;
  source.TriggerCount = 1;
  TWatchItem& a = App().acAddNew(source);
  TWatchItem& b = AddSite("b");
  Advance(100);
  ASSERT_EQ(a.Status(), TWatchStatus::Down);

  SelectOnly({&a});
  App().acClearStats();
  EXPECT_EQ(a.Status(), TWatchStatus::Up);
  EXPECT_EQ(a.TimesChecked, 0);
  EXPECT_TRUE(HistoryOf(a.Id()).empty());
  EXPECT_EQ(HistoryOf(b.Id()).size(), 1u);
  EXPECT_EQ(Alarms.Lines, (std::vector<std::string>{"DOWN a", "UP a"}));
}

TEST_F(TControllerActions, TableViewSwitchesTheColumnsAndBack) {
  Start();
  AddSite("a");
  App().acTableView();
  EXPECT_TRUE(App().TableView());
  EXPECT_EQ(ItemView.Columns().size(), static_cast<std::size_t>(kFieldCount));
  App().acTableView();
  EXPECT_FALSE(App().TableView());
  ASSERT_EQ(ItemView.Columns().size(), 1u);
  EXPECT_EQ(ItemView.Columns()[0].Caption, "Status/Name");
}

TEST(GoToUrl, AddressWithoutASchemeIsTakenAsAWebAddress) {
  EXPECT_EQ(UrlToOpen("example.test/page"), "http://example.test/page");
  EXPECT_EQ(UrlToOpen("https://example.test/"), "https://example.test/");
  EXPECT_EQ(UrlToOpen("ftp://files.test"), "ftp://files.test");
}

TEST_F(TControllerActions, SaveDataWritesTheListAndFlushesTheHistory) {
  Start();
  TWatchItem& a = AddSite("a");
  Advance(100);
  ASSERT_EQ(App().History().PendingCount(), 1u);
  App().acSaveData();
  EXPECT_EQ(App().History().PendingCount(), 0u);
  TSavedList saved(Dir.Path());
  ASSERT_NE(saved.Find("a"), nullptr);
  EXPECT_EQ(saved.Find("a")->Id(), a.Id());
  EXPECT_EQ(saved.Find("a")->TimesChecked, 1);
}

TEST_F(TControllerActions, ServiceRecordsDeleteTheHistoryOfItemsDeletedInTheService) {
  Start();
  TServerItem record;
  record.ServiceId = 77;
  record.Name = "served";
  record.Url = "served.test";
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
  TPreferences preferences = GetPreferences();
  preferences.AutosaveFrequency = 1;
  preferences.Fields[1] = -preferences.Fields[1];  // hides "Name"
  SetPreferences(preferences);
  App().PreferencesChanged();
  EXPECT_EQ(App().Autosave().IntervalMs(), 60u * 1000);
  EXPECT_EQ(DetailsView.Value("Name"), "");
  EXPECT_EQ(DetailsView.Value("URL/IP"), "http://a.test/");
}

}  // namespace
}  // namespace vantrel::test
