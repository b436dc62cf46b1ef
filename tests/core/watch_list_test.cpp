#include "core/watch_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

#include "core/property_format.h"
#include "support/test_env.h"
#include "watch_list_fixture.h"

namespace vantrel {
namespace {

using test::Result;

constexpr TDateTime kSecond = 1.0 / 86400.0;

class WatchList : public test::TWatchListFixture {};

// --- Identifiers ------------------------------------------------------------

TEST_F(WatchList, FirstItemOfAnEmptyListWithoutHistoryGetsOne) {
  EXPECT_EQ(List.MaxId(), -1);
  EXPECT_EQ(Add("a").Id(), 1);
  EXPECT_EQ(Add("b").Id(), 2);
}

TEST_F(WatchList, IdentifierSeenInTheHistoryIsNeverGivenAgain) {
  Add("a");
  List.ApplyResult(THistoryRecord{7, true, Clock.Now(), 10, 200});  // an item deleted long ago
  EXPECT_GE(Add("b").Id(), 8);
}

TEST_F(WatchList, IdentifierOfADeletedItemIsGivenAgainOnlyWithoutHistory) {
  Add("a");
  TWatchItem& b = Add("b");
  List.DeleteRow(RowOf(b));
  EXPECT_EQ(Add("c").Id(), 2);
}

TEST_F(WatchList, LookupByIdFollowsDeletionsAndChangedIds) {
  TWatchItem& a = Add("a");
  TWatchItem& b = Add("b");
  Add("c");
  EXPECT_EQ(List.IndexOfId(b.Id()), 1);
  List.DeleteRow(RowOf(a));
  EXPECT_EQ(List.IndexOfId(1), -1);
  EXPECT_EQ(List.IndexOfId(2), 0);
  EXPECT_EQ(List.IndexOfId(3), 1);
  b.SetId(1'000'000);  // beyond the lookup table
  EXPECT_EQ(List.IndexOfId(2), -1);
  EXPECT_EQ(List.IndexOfId(1'000'000), 0);
  b.SetId(-5);
  EXPECT_EQ(List.IndexOfId(-5), 0);
  EXPECT_EQ(List.NextId(), 4);
}

TEST_F(WatchList, LookupByIdFindsTheFirstOfEqualIds) {
  Add("a");
  TWatchItem& b = Add("b");
  TWatchItem& c = Add("c");
  b.SetId(9);
  c.SetId(9);
  EXPECT_EQ(List.IndexOfId(9), 1);
  b.SetId(2'000'000);
  c.SetId(2'000'000);
  EXPECT_EQ(List.IndexOfId(2'000'000), 1);
}

TEST_F(WatchList, LookupByServiceIdAndRowOfAnIndex) {
  Add("a");
  TWatchItem& b = Add("b");
  b.ServiceId = 40;
  ItemView.Reorder({1, 0});
  EXPECT_EQ(List.IndexOfServiceId(40), 1);
  EXPECT_EQ(List.IndexOfServiceId(41), -1);
  EXPECT_EQ(List.RowOf(1), 0);
  EXPECT_EQ(List.RowOf(0), 1);
  EXPECT_EQ(List.RowOf(2), -1);
  EXPECT_EQ(List.RowOf(-1), -1);
}

// --- Scheduling helpers -----------------------------------------------------

TEST_F(WatchList, EarliestDueIsTheFirstActiveItemWithTheSmallestNextRun) {
  EXPECT_EQ(List.FindEarliestDue(), nullptr);
  TWatchItem& a = Add("a");
  TWatchItem& b = Add("b");
  TWatchItem& c = Add("c");
  const TDateTime now = Clock.Now();
  a.SetNextRun(now + 10 * kSecond);
  b.SetNextRun(now + 5 * kSecond);
  c.SetNextRun(now + 5 * kSecond);
  EXPECT_EQ(List.FindEarliestDue(), &b);
  List.SetItemActive(RowOf(b), false);
  c.SetNextRun(now + 5 * kSecond);
  EXPECT_EQ(List.FindEarliestDue(), &c);
  List.SuspendAll();
  EXPECT_EQ(List.FindEarliestDue(), nullptr);
}

TEST_F(WatchList, ActivationMakesDueAtOnceWhileRunNowOnlyMovesNextRun) {
  TWatchItem& a = Add("a");
  a.SetLastChecked(Clock.Now());
  List.SetModified(false);
  const TDateTime soon = Clock.Now() + 2 * kSecond;
  List.RunNow(RowOf(a), soon);
  EXPECT_EQ(a.NextRun(), soon);
  EXPECT_FALSE(List.Modified());  // the data file does not hold the schedule

  List.SetItemActive(RowOf(a), false);
  List.SetModified(false);
  Clock.Advance(60'000);
  List.SetItemActive(RowOf(a), true);
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(a.NextRun(), Clock.Now());
  EXPECT_EQ(a.Status(), TWatchStatus::Up);
}

TEST_F(WatchList, RunNowActivatesASuspendedItem) {
  TWatchItem& a = Add("a");
  List.SetItemActive(RowOf(a), false);
  List.SetModified(false);
  const TDateTime later = Clock.Now() + 30 * kSecond;
  List.RunNow(RowOf(a), later);
  EXPECT_TRUE(a.Active());
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(a.NextRun(), later);
}

TEST_F(WatchList, RunSelectedNowAndRunAllNowUseOneMoment) {
  TWatchItem& a = Add("a");
  TWatchItem& b = Add("b");
  TWatchItem& c = Add("c");
  for (TWatchItem* item : {&a, &b, &c})
    item->SetLastChecked(Clock.Now());
  Clock.Advance(1000);
  SelectOnly({RowOf(a), RowOf(c)});
  List.RunSelectedNow();
  EXPECT_EQ(a.NextRun(), Clock.Now());
  EXPECT_EQ(c.NextRun(), Clock.Now());
  EXPECT_GT(b.NextRun(), Clock.Now());
  Clock.Advance(1000);
  List.RunAllNow();
  EXPECT_EQ(b.NextRun(), Clock.Now());
}

// --- Activity -------------------------------------------------------------

TEST_F(WatchList, SuspendAndActivateActOnlyWhereTheFlagChanges) {
  TWatchItem& a = Add("a");
  TWatchItem& b = Add("b");
  List.SetModified(false);
  SelectOnly({RowOf(a)});
  List.ActivateSelected();  // already active
  EXPECT_FALSE(List.Modified());
  List.SuspendSelected();
  EXPECT_FALSE(a.Active());
  EXPECT_TRUE(b.Active());
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(ItemView.Row(RowOf(a)).StateImage, static_cast<int>(TWatchStatus::Suspended));
  List.ActivateSelected();
  EXPECT_TRUE(a.Active());
}

TEST_F(WatchList, SuspendServiceItemsLeavesLocalItemsActive) {
  TWatchItem& local = Add("local");
  TWatchItem& remote = Add("remote");
  remote.Username = "jdoe";
  List.SuspendServiceItems();
  EXPECT_TRUE(local.Active());
  EXPECT_FALSE(remote.Active());
}

// --- Adding and deleting --------------------------------------------------

TEST_F(WatchList, AddedItemIsTheOnlySelectedRowAndShowsItsDetails) {
  Add("a");
  TWatchItem& b = Add("b");
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(ItemView.SelectedCount(), 1);
  EXPECT_EQ(ItemView.FirstSelectedRow(), RowOf(b));
  EXPECT_EQ(ItemView.Row(RowOf(b)).Caption, "b");
  EXPECT_EQ(ItemView.Row(RowOf(b)).StateImage, static_cast<int>(TWatchStatus::Up));
  EXPECT_EQ(DetailsView.Value("Name"), "b");
  EXPECT_EQ(DetailsView.Rows().size(), 21u);
  EXPECT_EQ(ItemView.UpdateDepth(), 0);
}

TEST_F(WatchList, AddedItemKeepsTheSourcesCreationMoment) {
  TWatchItem source(Clock);
  Clock.Advance(5000);
  const TWatchItem& added = List.AddItem(source);
  EXPECT_EQ(added.Created, source.Created);
  EXPECT_EQ(added.List(), &List);
}

TEST_F(WatchList, DeleteRowWithoutAnItemRemovesOnlyTheRow) {
  Add("a");
  ItemView.AddEmptyRow();
  List.SetModified(false);
  List.DeleteRow(1);
  EXPECT_EQ(ItemView.RowCount(), 1);
  EXPECT_EQ(List.Count(), 1);
  EXPECT_FALSE(List.Modified());
}

TEST_F(WatchList, DeletingSelectedShuffledRowsSkipsNone) {
  for (int i = 0; i < 12; ++i)
    Add("item" + std::to_string(i));
  std::vector<int> order(12);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  ItemView.Reorder(order);
  // Every second row, and the two last rows side by side.
  SelectOnly({0, 2, 4, 6, 10, 11});
  std::set<std::string> expected;
  for (int row = 0; row < 12; ++row) {
    if (!ItemView.Selected(row))
      expected.insert(ItemView.Row(row).Item->Name);
  }
  List.DeleteSelected();
  EXPECT_EQ(ItemView.RowCount(), 6);
  EXPECT_EQ(List.Count(), 6);
  const std::vector<std::string> rows = RowNames();
  EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()), expected);
  const std::vector<std::string> items = CollectionNames();
  EXPECT_EQ(std::set<std::string>(items.begin(), items.end()), expected);
}

TEST_F(WatchList, DeletingShowsTheRowThatFollowedTheLastSelectedOne) {
  for (const char* name : {"a", "b", "c", "d", "e"})
    Add(name);
  ItemView.Reorder({4, 2, 0, 3, 1});  // e c a d b
  SelectOnly({1, 2});                 // c a
  List.DeleteSelected();
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"e", "d", "b"}));
  EXPECT_EQ(ItemView.SelectedCount(), 1);
  EXPECT_EQ(ItemView.FirstSelectedRow(), 1);
  EXPECT_EQ(DetailsView.Value("Name"), "d");
}

TEST_F(WatchList, DeletingTheLastRowsShowsTheRowBeforeThem) {
  for (const char* name : {"a", "b", "c", "d"})
    Add(name);
  SelectOnly({2, 3});
  List.DeleteSelected();
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ItemView.FirstSelectedRow(), 1);
  EXPECT_EQ(DetailsView.Value("Name"), "b");
}

TEST_F(WatchList, DeletingEveryRowClearsTheDetails) {
  for (const char* name : {"a", "b", "c"})
    Add(name);
  SelectOnly({0, 1, 2});
  ASSERT_FALSE(DetailsView.Rows().empty());
  List.DeleteSelected();
  EXPECT_EQ(ItemView.RowCount(), 0);
  EXPECT_EQ(List.Count(), 0);
  EXPECT_TRUE(DetailsView.Rows().empty());
  EXPECT_TRUE(List.Modified());
}

TEST_F(WatchList, ClearEmptiesViewsAndCollection) {
  Add("a");
  Add("b");
  List.SetModified(false);
  List.Clear();
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(ItemView.RowCount(), 0);
  EXPECT_TRUE(DetailsView.Rows().empty());
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(List.IndexOfId(1), -1);
}

TEST_F(WatchList, ItemChangedMarksModifiedAndRefreshesTheRow) {
  TWatchItem& a = Add("a");
  List.SetModified(false);
  a.Name = "renamed";
  List.ItemChanged(RowOf(a));
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(ItemView.Row(RowOf(a)).Caption, "renamed");
  EXPECT_EQ(DetailsView.Value("Name"), "renamed");
}

TEST_F(WatchList, StatisticsOperationsLeaveModifiedAlone) {
  TWatchItem& a = Add("a");
  a.AlarmTrigger = true;
  List.ApplyResult(Result(a, false, -1, 404, Clock.Now()));
  List.SetModified(false);
  SelectOnly({RowOf(a)});
  List.ResetAlarmSelected();
  List.ClearStatsSelected();
  List.ClearStatsAll();
  EXPECT_FALSE(List.Modified());
  EXPECT_EQ(Events, (std::vector<std::string>{"alarm a", "reset a"}));
}

// --- Reports ----------------------------------------------------------------

TEST_F(WatchList, ReportInUseOnlyWhenAnItemSendsItByEmail) {
  TWatchItem& a = Add("a");
  a.ReportId = 3;
  EXPECT_FALSE(List.ReportInUse(3));
  a.EmailAction = true;
  EXPECT_TRUE(List.ReportInUse(3));
  EXPECT_FALSE(List.ReportInUse(4));
}

TEST_F(WatchList, DeletedReportSwitchesEmailOffForItsItems) {
  TWatchItem& a = Add("a");
  TWatchItem& b = Add("b");
  a.EmailAction = true;
  a.ReportId = 3;
  b.EmailAction = true;
  b.ReportId = 5;
  List.SetModified(false);
  List.ReportDeleted(4);
  EXPECT_FALSE(List.Modified());
  List.ReportDeleted(3);
  EXPECT_TRUE(List.Modified());
  EXPECT_FALSE(a.EmailAction);
  EXPECT_EQ(a.ReportId, -1);
  EXPECT_TRUE(b.EmailAction);
  EXPECT_EQ(b.ReportId, 5);
}

// --- Web-service records ----------------------------------------------------

TServerItem ServiceRecord(std::int32_t serviceId, std::int32_t state, const std::string& name) {
  TServerItem record;
  record.ServiceId = serviceId;
  record.Username = "jdoe";
  record.UserEmail = "jane@example.org";
  record.UserFullName = "Jane Doe";
  record.State = state;
  record.Name = name;
  record.Url = name + ".example.org";
  record.CheckType = TCheckType::Download;
  record.Frequency = 0;
  return record;
}

TEST_F(WatchList, NewServiceRecordAddsAnItemWithTheServiceDefaults) {
  TWatchItem& local = Add("local");
  Preferences.DefaultFrequency = 900;
  List.SetModified(false);
  List.ApplyServiceRecord(ServiceRecord(31, 0, "blog"));
  ASSERT_EQ(List.Count(), 2);
  const TWatchItem& added = List.Item(1);
  EXPECT_EQ(added.ServiceId, 31);
  EXPECT_EQ(added.Name, "blog");
  EXPECT_EQ(added.Frequency(), 900);  // the record's 0 keeps the default
  EXPECT_TRUE(added.AlarmTrigger);
  EXPECT_FALSE(added.PopupAction);
  EXPECT_TRUE(added.Active());
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(ItemView.Row(RowOf(added)).Caption, "jdoe_blog");
  // The selection stays where the user left it.
  EXPECT_EQ(ItemView.FirstSelectedRow(), RowOf(local));
  EXPECT_EQ(ItemView.SelectedCount(), 1);
}

TEST_F(WatchList, ServiceRecordMarkedDeletedRemovesTheItem) {
  List.ApplyServiceRecord(ServiceRecord(31, 0, "blog"));
  List.ApplyServiceRecord(ServiceRecord(32, 0, "shop"));
  List.ApplyServiceRecord(ServiceRecord(31, -1, "blog"));
  EXPECT_EQ(CollectionNames(), std::vector<std::string>{"shop"});
  EXPECT_EQ(RowNames(), std::vector<std::string>{"shop"});
}

TEST_F(WatchList, KnownServiceRecordUpdatesTheItemAndItsRow) {
  List.ApplyServiceRecord(ServiceRecord(31, 0, "blog"));
  TServerItem changed = ServiceRecord(31, 2, "journal");
  changed.Frequency = 120;
  List.ApplyServiceRecord(changed);
  ASSERT_EQ(List.Count(), 1);
  const TWatchItem& item = List.Item(0);
  EXPECT_EQ(item.Name, "journal");
  EXPECT_FALSE(item.Active());
  EXPECT_EQ(item.Frequency(), 120);
  EXPECT_EQ(ItemView.Row(0).Caption, "jdoe_journal");
  EXPECT_EQ(ItemView.Row(0).StateImage, static_cast<int>(TWatchStatus::Suspended));
}

TEST_F(WatchList, UnknownServiceRecordMarkedDeletedIsIgnored) {
  List.ApplyServiceRecord(ServiceRecord(31, -1, "blog"));
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(ItemView.RowCount(), 0);
}

// --- Views ------------------------------------------------------------------

TEST_F(WatchList, NameViewHasOneAutoSizedColumn) {
  ItemView.SetClientWidth(250);
  List.SetupColumns();
  ASSERT_EQ(ItemView.Columns().size(), 1u);
  EXPECT_EQ(ItemView.Columns()[0], (TViewColumn{"Status/Name", 246, true}));
  Preferences.ItemAutosize = false;
  List.SetupColumns();
  EXPECT_FALSE(ItemView.Columns()[0].AutoSize);
}

TEST_F(WatchList, TableViewShowsTheShownFieldsInTheirOrder) {
  TWatchItem& a = Add("a");
  a.Url = "a.example.org";
  Preferences.Fields = DefaultFieldList();
  Preferences.Fields[0] = kPropertyUrl;
  Preferences.Fields[1] = kPropertyName;
  Preferences.Fields[2] = -kPropertyStatus;  // hidden
  List.SetTableView(true);
  List.SetupColumns();
  ASSERT_EQ(ItemView.Columns().size(), 20u);
  EXPECT_EQ(ItemView.Columns()[0], (TViewColumn{"URL/IP", 90, false}));
  EXPECT_EQ(ItemView.Columns()[1].Caption, "Name");
  EXPECT_EQ(ItemView.Columns()[2].Caption, "Checking Type");
  const auto& row = ItemView.Row(RowOf(a));
  EXPECT_EQ(row.Caption, "a.example.org");
  ASSERT_EQ(row.SubItems.size(), 19u);
  EXPECT_EQ(row.SubItems[0], "a");
  EXPECT_EQ(row.SubItems[1], "by Ping");
}

TEST_F(WatchList, RowCaptionPrefixesTheLoginOfServiceItems) {
  TWatchItem& a = Add("shop");
  a.Username = "jdoe";
  a.UserFullName = "Jane Doe";
  List.UpdateRow(RowOf(a));
  EXPECT_EQ(ItemView.Row(RowOf(a)).Caption, "jdoe_shop");
  EXPECT_EQ(DetailsView.Value("Name"), "Jane Doe_shop");
}

TEST_F(WatchList, DetailsFollowOnlyTheSelectedRowInNameView) {
  TWatchItem& a = Add("a");
  TWatchItem& b = Add("b");  // selected
  a.Name = "changed";
  List.UpdateRow(RowOf(a));
  EXPECT_EQ(DetailsView.Value("Name"), "b");
  Preferences.Fields[0] = -kPropertyStatus;
  List.ShowDetails(RowOf(b));
  EXPECT_EQ(DetailsView.Rows().size(), 20u);
  EXPECT_EQ(DetailsView.Rows().front().first, "Name");
  List.SetTableView(true);
  List.ClearDetails();
  List.ShowSelectedDetails();
  EXPECT_TRUE(DetailsView.Rows().empty());
}

TEST_F(WatchList, RowsAreNotRepaintedOrDetailedDuringAnUpdate) {
  TWatchItem& a = Add("a");
  const int repaints = ItemView.Row(0).Repaints;
  const int clears = DetailsView.ClearCount();
  List.BeginUpdate();
  List.UpdateRow(RowOf(a));
  List.EndUpdate();
  EXPECT_EQ(ItemView.Row(0).Repaints, repaints);
  EXPECT_EQ(DetailsView.ClearCount(), clears);
  List.UpdateRow(RowOf(a));
  EXPECT_EQ(ItemView.Row(0).Repaints, repaints + 1);
}

// --- What the histories see -------------------------------------------------

TEST_F(WatchList, HistoryTargetAnswersByLocalIdentifier) {
  TWatchItem& a = Add("a");
  TWatchItem& b = Add("b");
  a.Url = "a.example.org";
  b.Username = "jdoe";
  b.ServiceId = 55;
  ItemView.Reorder({1, 0});
  SelectOnly({0, 1});

  THistoryTarget& target = List;
  EXPECT_EQ(target.ServiceIdOf(static_cast<std::uint32_t>(b.Id())), 55);
  EXPECT_EQ(target.ServiceIdOf(static_cast<std::uint32_t>(a.Id())), 0);
  EXPECT_EQ(target.ServiceIdOf(99), std::nullopt);
  const auto summary = target.SummaryItems();
  ASSERT_EQ(summary.size(), 2u);  // list order, not row order
  EXPECT_EQ(summary[0].ItemId, 1u);
  EXPECT_EQ(summary[0].Name, "a");
  EXPECT_EQ(summary[0].Url, "a.example.org");
  EXPECT_EQ(summary[1].Name, "jdoe_b");
  EXPECT_EQ(target.SelectedItemIds(), (std::vector<std::uint32_t>{2, 1}));
}

}  // namespace
}  // namespace vantrel
