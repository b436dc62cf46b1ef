#include "core/watch_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "core/property_format.h"
#include "watch_list_fixture.h"

namespace vantrel {
namespace {

using Texts = std::vector<std::string>;
constexpr TDateTime kSecond = 1.0 / 86400.0;

class WatchList : public test::TWatchListFixture {};

TEST_F(WatchList, FrequencyMovesTheNextRunOnlyAfterACheckAndOnlyWhenItChanges) {
  TWatchItem item(Clock);
  item.SetFrequency(120);
  EXPECT_EQ(item.NextRun(), item.Created);  // never checked: still due at once
  const TDateTime checked = Clock.Now() + 10 * kSecond;
  item.SetLastChecked(checked);
  EXPECT_DOUBLE_EQ(item.NextRun(), checked + 120 * kSecond);
  item.SetFrequency(30);
  EXPECT_DOUBLE_EQ(item.NextRun(), checked + 30 * kSecond);
  item.SetNextRun(checked + 5 * kSecond);  // an additional attempt
  item.SetFrequency(30);
  EXPECT_DOUBLE_EQ(item.NextRun(), checked + 5 * kSecond);
}

TEST_F(WatchList, AssignCopiesTheSettingsButNotIdentityStatisticsOrSchedule) {
  TWatchItem source(Clock);
  test::FillSettings(source);
  source.TimesChecked = 12;
  source.LastResponseCode = 200;
  source.ExtraCount = 2;
  source.SetLastChecked(Clock.Now());
  Clock.Advance(60'000);
  TWatchItem copy(Clock);
  copy.Assign(source);
  EXPECT_EQ(test::SettingsOf(copy), test::SettingsOf(source));
  EXPECT_EQ(copy.Id(), -1);
  EXPECT_EQ(copy.Status(), TWatchStatus::Suspended);
  EXPECT_EQ(copy.TimesChecked, 0);
  EXPECT_EQ(copy.LastResponseCode, -1);
  EXPECT_EQ(copy.ExtraCount, 0);
  EXPECT_EQ(copy.LastChecked(), 0);

  // A suspended copy that the source activates is due at once.
  Clock.Advance(10'000);
  copy.Assign(TWatchItem(Clock));
  EXPECT_EQ(copy.Status(), TWatchStatus::Up);
  EXPECT_EQ(copy.NextRun(), Clock.Now());
}

// Past the largest Id, counting on would overflow: new items take the lowest Ids that no item
// and no history record holds, also beyond the Ids the history keeps as bits.
TEST_F(WatchList, IdentifiersStartAtOneNeverReuseOneSeenInTheHistoryAndNeverOverflow) {
  const auto record = [&](std::uint32_t id) {
    List.ApplyResult(THistoryRecord{id, true, Clock.Now(), 10, 200});
  };
  EXPECT_EQ(List.MaxId(), -1);
  EXPECT_EQ(Add("a").Id(), 1);
  TWatchItem& b = Add("b");
  EXPECT_EQ(b.Id(), 2);
  List.DeleteRow(RowOf(b));
  EXPECT_EQ(Add("c").Id(), 2);  // without history a deleted item's Id comes again
  record(7);                    // deleted long ago
  record(0xFFFFFFFFu);          // Id -1
  EXPECT_EQ(List.MaxId(), 7);
  EXPECT_EQ(Add("d").Id(), 8);

  record(3);
  record(0x7FFFFFFF);
  EXPECT_EQ(Add("e").Id(), 4);  // 1, 2 and 8 are items', 3 the history's
  EXPECT_EQ(Add("f").Id(), 5);
  for (std::uint32_t id = 1; id <= TIdSet::kBitLimit + 1; ++id)
    record(id);
  EXPECT_EQ(Add("g").Id(), TIdSet::kBitLimit + 2);
  EXPECT_EQ(Add("h").Id(), TIdSet::kBitLimit + 3);
}

TEST_F(WatchList, LookupByIdFollowsDeletionsAndChangedIds) {
  TWatchItem& a = Add("a");
  TWatchItem& b = Add("b");
  TWatchItem& c = Add("c");
  List.DeleteRow(RowOf(a));
  EXPECT_EQ(List.IndexOfId(1), -1);
  EXPECT_EQ(List.IndexOfId(3), 1);
  b.SetId(9);
  c.SetId(9);
  EXPECT_EQ(List.IndexOfId(9), 0);  // the first of equal Ids
  b.SetId(1'000'000);               // beyond the lookup table
  EXPECT_EQ(List.IndexOfId(2), -1);
  EXPECT_EQ(List.IndexOfId(1'000'000), 0);
  c.SetId(1'000'000);
  EXPECT_EQ(List.IndexOfId(1'000'000), 0);
  b.SetId(-5);
  c.SetId(-5);
  EXPECT_EQ(List.IndexOfId(-5), 0);
  ItemView.Reorder({1, 0});
  EXPECT_EQ(List.RowOf(0), 1);
  EXPECT_EQ(List.RowOf(2), -1);
}

TEST_F(WatchList, ActivationMakesDueAtOnceWhileRunNowOnlyMovesNextRun) {
  TWatchItem& a = Add("a");
  a.SetLastChecked(Clock.Now());
  List.SetModified(false);
  const TDateTime soon = Clock.Now() + 2 * kSecond;
  List.RunNow(RowOf(a), soon);
  EXPECT_EQ(a.NextRun(), soon);
  List.SetItemActive(RowOf(a), true);  // active already: no change
  EXPECT_EQ(a.NextRun(), soon);
  EXPECT_FALSE(List.Modified());  // the data file does not hold the schedule

  List.SetItemActive(RowOf(a), false);
  Clock.Advance(60'000);
  List.SetItemActive(RowOf(a), true);
  EXPECT_EQ(a.NextRun(), Clock.Now());
  EXPECT_EQ(a.Status(), TWatchStatus::Up);

  List.SetItemActive(RowOf(a), false);
  List.SetModified(false);
  List.RunNow(RowOf(a), soon);  // activates a suspended item
  EXPECT_TRUE(a.Active());
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(a.NextRun(), soon);
}

// What FindEarliestDue must answer, by a plain scan: the active item not
// being checked with the smallest NextRun (a NaN counting as the smallest),
// the first of equals in collection order.
const TWatchItem* ScanForEarliestDue(const TWatchList& list) {
  const auto key = [](const TWatchItem& item) {
    return std::isnan(item.NextRun()) ? -HUGE_VAL : item.NextRun();
  };
  const TWatchItem* earliest = nullptr;
  for (int index = 0; index < list.Count(); ++index) {
    const TWatchItem& item = list.Item(index);
    if (item.Active() && !item.Checking() && (earliest == nullptr || key(item) < key(*earliest)))
      earliest = &item;
  }
  return earliest;
}

TEST_F(WatchList, EarliestDueFollowsEveryChangeOfScheduleActivityAndMembership) {
  const TDateTime t = Clock.Now();
  TWatchItem* a = &Add("a");
  TWatchItem* b = &Add("b");
  TWatchItem* c = &Add("c");
  TWatchItem* d = nullptr;
  TWatchItem suspended(Clock);
  suspended.SetActive(false);
  const auto result = [&](TWatchItem* item, TDateTime date) {
    List.ApplyResult(test::Result(*item, true, 9, 200, date));
  };
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"three due at once", [] {}},
      {"a under check", [&] { a->SetChecking(true); }},
      {"a checked", [&] { a->SetLastChecked(t); }},
      {"a's check ended", [&] { a->SetChecking(false); }},
      {"c moved earlier", [&] { c->SetNextRun(t - kSecond); }},
      {"b equal to c, before it in the collection", [&] { b->SetNextRun(t - kSecond); }},
      {"rows reordered",
       [&] {
         ItemView.Reorder({2, 1, 0});
       }},
      {"b suspended", [&] { List.SetItemActive(RowOf(*b), false); }},
      {"c's frequency", [&] { c->SetLastChecked(t - 100 * kSecond), c->SetFrequency(200); }},
      {"c run now", [&] { List.RunNow(RowOf(*c), t - 90 * kSecond); }},
      {"b activated", [&] { Clock.Advance(1000), List.SetItemActive(RowOf(*b), true); }},
      {"c suspended by its properties", [&] { c->Assign(suspended); }},
      {"b deleted", [&] { List.DeleteRow(RowOf(*b)); }},
      {"d added", [&] { d = &Add("d"); }},
      {"a's result", [&] { result(a, t - 999 * kSecond); }},
      {"history replayed",
       [&] { List.BeginReplay(), result(d, t - 2000 * kSecond), result(a, t), List.EndReplay(); }},
      {"a damaged record", [&] { result(a, NAN); }},
      {"all suspended", [&] { List.SuspendAll(); }},
      {"d run now", [&] { List.RunNow(RowOf(*d), t); }},
      {"cleared", [&] { List.Clear(); }},
      {"added after clearing", [&] { Add("e"); }},
  };
  for (const auto& [change, apply] : changes) {
    SCOPED_TRACE(change);
    apply();
    const TWatchItem* expected = ScanForEarliestDue(List);
    const TWatchItem* found = List.FindEarliestDue();
    EXPECT_EQ(found ? found->Name : "none", expected ? expected->Name : "none");
  }
}

TEST_F(WatchList, SelectedAndAllActionsActOnTheirRowsOnly) {
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
  List.RunAllNow();
  EXPECT_EQ(b.NextRun(), Clock.Now());

  List.SuspendSelected();  // the modified flag is SetItemActive's, tested above
  EXPECT_FALSE(a.Active());
  EXPECT_TRUE(b.Active());
  List.ActivateSelected();
  EXPECT_TRUE(a.Active());
  b.Username = "jdoe";
  List.SuspendServiceItems();
  EXPECT_TRUE(a.Active());
  EXPECT_FALSE(b.Active());
}

struct TDeleteCase {
  int Items;
  std::vector<int> Order;  // of the items in the rows
  std::vector<int> Selected;
  Texts Left;
  int Shown;  // the row selected and detailed afterwards
};

TEST_F(WatchList, DeleteSelectedGoesFromLastToFirstAndShowsTheRightRow) {
  const TDeleteCase cases[] = {
      {5, {4, 2, 0, 3, 1}, {1, 2}, {"4", "3", "1"}, 1},  // the row after the last deleted
      {4, {0, 1, 2, 3}, {2, 3}, {"0", "1"}, 1},          // the last rows: the one before
      {3, {0, 1, 2}, {0, 1, 2}, {}, -1},
      {12,
       {7, 2, 11, 0, 9, 4, 1, 10, 5, 3, 8, 6},
       {0, 2, 4, 6, 10, 11},
       {"2", "0", "4", "10", "5", "3"},
       5},
  };
  for (const TDeleteCase& c : cases) {
    SCOPED_TRACE(c.Items);
    List.Clear();
    for (int i = 0; i < c.Items; ++i)
      Add(std::to_string(i));
    ItemView.Reorder(c.Order);
    SelectOnly(c.Selected);
    List.DeleteSelected();
    EXPECT_EQ(RowNames(), c.Left);
    std::vector<std::string> items = CollectionNames();
    std::sort(items.begin(), items.end());
    Texts left = c.Left;
    std::sort(left.begin(), left.end());
    EXPECT_EQ(items, left);
    EXPECT_EQ(ItemView.FirstSelectedRow(), c.Shown);
    EXPECT_EQ(DetailsView.Value("Name"), c.Shown < 0 ? "" : c.Left[c.Shown]);
    EXPECT_EQ(DetailsView.Rows().empty(), c.Shown < 0);
  }
  List.Clear();
  Add("a");
  ItemView.AddEmptyRow();
  List.SetModified(false);
  List.DeleteRow(1);  // a row without an item goes alone
  EXPECT_EQ(ItemView.RowCount(), 1);
  EXPECT_FALSE(List.Modified());
}

TEST_F(WatchList, ReportInUseOnlyWhenSentByEmailAndItsDeletionSwitchesEmailOff) {
  TWatchItem& a = Add("a");
  TWatchItem& b = Add("b");
  a.ReportId = 3;
  b.ReportId = 5;
  b.EmailAction = true;
  EXPECT_FALSE(List.ReportInUse(3));
  a.EmailAction = true;
  EXPECT_TRUE(List.ReportInUse(3));
  List.SetModified(false);
  List.ReportDeleted(4);
  EXPECT_FALSE(List.Modified());
  List.ReportDeleted(3);
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(a.ReportId, -1);
  EXPECT_FALSE(a.EmailAction);
  EXPECT_TRUE(b.EmailAction);
}

TServerItem ServiceRecord(std::int32_t serviceId, std::int32_t state, const std::string& name) {
  TServerItem record;
  record.ServiceId = serviceId;
  record.Username = "jdoe";
  record.State = state;
  record.Name = name;
  return record;
}

TEST_F(WatchList, ServiceRecordAddsUpdatesOrDeletesItsItem) {
  TWatchItem& local = Add("local");
  EditPreferences([](TPreferences& p) {
    p.DefaultFrequency = 900;
    p.DefaultTriggerCount = 5;
    p.DefaultCheckConnection = true;
  });
  List.SetModified(false);
  List.ApplyServiceRecord(ServiceRecord(31, 0, "blog"));
  List.ApplyServiceRecord(ServiceRecord(32, 0, "shop"));
  List.ApplyServiceRecord(ServiceRecord(33, -1, "never"));  // unknown and deleted
  ASSERT_EQ(CollectionNames(), (Texts{"local", "blog", "shop"}));
  const TWatchItem& blog = List.Item(1);
  EXPECT_EQ(blog.Frequency(), 900);  // the record's 0 keeps the default
  EXPECT_TRUE(blog.AlarmTrigger);
  EXPECT_EQ(blog.TriggerCount, 5);
  EXPECT_TRUE(blog.CheckConnection);
  EXPECT_FALSE(blog.PopupAction);
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(ItemView.Row(RowOf(blog)).Caption, "jdoe_blog");
  EXPECT_EQ(ItemView.FirstSelectedRow(), RowOf(local));  // the selection stays

  TServerItem changed = ServiceRecord(31, 2, "journal");
  changed.Frequency = 120;
  List.ApplyServiceRecord(changed);
  EXPECT_EQ(blog.Name, "journal");
  EXPECT_FALSE(blog.Active());
  EXPECT_EQ(blog.Frequency(), 120);
  EXPECT_EQ(ItemView.Row(RowOf(blog)).Caption, "jdoe_journal");

  // A name cannot forge lines; a URL with control characters is not taken.
  changed.Name = "journal\r\n*** shop DOWN\x1b[2J";
  changed.Url = "http://blog.test/";
  EXPECT_TRUE(List.ApplyServiceRecord(changed));
  EXPECT_EQ(blog.Name, "journal  *** shop DOWN [2J");
  changed.Url = "http://blog.test/\r\nX-Forged: 1";
  changed.Name = "renamed";
  EXPECT_FALSE(List.ApplyServiceRecord(changed));
  TServerItem forged = ServiceRecord(34, 0, "new");
  forged.Url = "http://new.test/\x1b[2J";
  EXPECT_FALSE(List.ApplyServiceRecord(forged));
  EXPECT_EQ(blog.Url, "http://blog.test/");
  EXPECT_EQ(CollectionNames(), (Texts{"local", "journal  *** shop DOWN [2J", "shop"}));

  EXPECT_TRUE(List.ApplyServiceRecord(ServiceRecord(31, -1, "journal")));
  EXPECT_EQ(CollectionNames(), (Texts{"local", "shop"}));
  EXPECT_EQ(RowNames(), (Texts{"local", "shop"}));
}

TEST_F(WatchList, NameAndTableViewsShowTheShownFieldsInTheirOrder) {
  TWatchItem& a = Add("shop");
  Add("b");  // selected
  a.Url = "a.example.org";
  a.Username = "jdoe";
  a.UserFullName = "Jane Doe";
  List.UpdateRow(RowOf(a));
  EXPECT_EQ(ItemView.Row(RowOf(a)).Caption, "jdoe_shop");
  EXPECT_EQ(DetailsView.Value("Name"), "b");
  SelectOnly({RowOf(a)});
  EditPreferences([](TPreferences& p) {
    p.Fields = DefaultFieldList();
    p.Fields[0] = kPropertyUrl;
    p.Fields[1] = kPropertyName;
    p.Fields[2] = -kPropertyStatus;  // hidden
  });
  List.ShowDetails(RowOf(a));
  EXPECT_EQ(DetailsView.Value("Name"), "Jane Doe_shop");
  EXPECT_EQ(DetailsView.Rows().size(), 20u);

  List.SetTableView(true);
  List.ClearDetails();
  List.ShowSelectedDetails();
  EXPECT_TRUE(DetailsView.Rows().empty());
  List.SetupColumns();
  ASSERT_EQ(ItemView.Columns().size(), 20u);
  EXPECT_EQ(ItemView.Columns()[0], (TViewColumn{"URL/IP", 90, false}));
  EXPECT_EQ(ItemView.Columns()[1].Caption, "Name");
  EXPECT_EQ(ItemView.Columns()[2].Caption, "Checking Type");
  const auto& row = ItemView.Row(RowOf(a));
  EXPECT_EQ(row.Caption, "a.example.org");
  ASSERT_EQ(row.SubItems.size(), 19u);
  EXPECT_EQ(row.SubItems[0], "Jane Doe_shop");
  EXPECT_EQ(row.SubItems[1], "by Ping");
}

TEST_F(WatchList, HistoryTargetAnswersByLocalIdentifier) {
  TWatchItem& a = Add("a");
  TWatchItem& b = Add("b");
  a.Url = "a.example.org";
  b.Username = "jdoe";
  b.ServiceId = 55;
  ItemView.Reorder({1, 0});
  SelectOnly({0, 1});
  const THistoryTarget& target = List;
  EXPECT_EQ(target.ServiceIdOf(2), 55);
  EXPECT_EQ(target.ServiceIdOf(1), 0);
  EXPECT_EQ(target.ServiceIdOf(99), std::nullopt);
  const auto summary = target.SummaryItems();  // list order, not row order
  ASSERT_EQ(summary.size(), 2u);
  EXPECT_EQ(summary[0].ItemId, 1u);
  EXPECT_EQ(summary[0].Url, "a.example.org");
  EXPECT_EQ(summary[1].Name, "jdoe_b");
  EXPECT_EQ(target.SelectedItemIds(), (std::vector<std::uint32_t>{2, 1}));
}

}  // namespace
}  // namespace vantrel
