// When the scheduler starts checks: idle wait, wake-ups, order, the limit of
// running checkers, pause and resume.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "checking_fixture.h"
#include "core/checker_manager.h"

namespace vantrel {
namespace {

using Ids = std::vector<std::int32_t>;
using Texts = std::vector<std::string>;

class CheckScheduling : public test::TCheckingFixture {};

TEST_F(CheckScheduling, FirstTickComes100msAfterStart) {
  AddSite("a");
  StartManager();
  EXPECT_EQ(Loop.NextDueIn(), std::optional<std::uint64_t>(100));
  Advance(99);
  EXPECT_TRUE(Checks.Requests().empty());
  Advance(1);
  EXPECT_EQ(Checks.Hosts(), std::vector<std::string>{"http://a.test/"});
}

TEST_F(CheckScheduling, WithNothingActiveTheSchedulerSleepsFifteenMinutes) {
  StartManager();
  Advance(100);
  EXPECT_EQ(Loop.NextDueIn(), std::optional<std::uint64_t>(900000));
  EXPECT_EQ(Statuses, (Texts{"Start checking", "Done"}));
  EXPECT_EQ(Manager->StatusText(), "Done");
}

TEST_F(CheckScheduling, AddingAnItemWakesTheSchedulerAtOnce) {
  StartManager();
  Advance(100);
  TWatchItem& item = AddSite("a");
  Manager->Wake();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Checks.Hosts(), std::vector<std::string>{"http://a.test/"});
  EXPECT_EQ(item.TimesChecked, 1);
  EXPECT_EQ(item.LastChecked(), Clock.Now());
}

TEST_F(CheckScheduling, ActivatingAnItemWakesTheSchedulerAtOnce) {
  TWatchItem& item = AddSite("a");
  List.SetItemActive(RowOf(item), false);
  StartManager();
  Advance(100);
  Advance(60000);
  EXPECT_TRUE(Checks.Requests().empty());
  List.SetItemActive(RowOf(item), true);
  Manager->Wake();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Checks.Hosts(), std::vector<std::string>{"http://a.test/"});
  EXPECT_EQ(item.LastChecked(), Clock.Now());
}

TEST_F(CheckScheduling, ItemsDueTogetherStartInCollectionOrderNotRowOrder) {
  TWatchItem& a = AddSite("a");
  TWatchItem& b = AddSite("b");
  TWatchItem& early = AddSite("early");
  early.SetNextRun(Clock.Now() - 1000 * test::kMillisecond);
  ItemView.Reorder({2, 1, 0});
  for (const char* host : {"http://a.test/", "http://b.test/", "http://early.test/"})
    Checks.Hold(host);
  StartManager();
  Advance(100);
  EXPECT_EQ(Manager->CheckerItemIds(), (Ids{early.Id(), a.Id(), b.Id()}));
  EXPECT_EQ(a.LastChecked(), At(100));
  EXPECT_EQ(b.LastChecked(), At(100));
  Checks.ReleaseAll();
}

TEST_F(CheckScheduling, TickReArmsForTheNextItemToFallDue) {
  AddSite("a", 60);
  StartManager();
  Advance(100);
  const std::optional<std::uint64_t> due = Loop.NextDueIn();
  ASSERT_TRUE(due.has_value());
  EXPECT_NEAR(static_cast<double>(*due), 60000.0, 1.0);
  EXPECT_EQ(Statuses.back(), "Done");
}

TEST_F(CheckScheduling, FortyDueItemsAllStartInOneTickThenTicksRetryEvery100ms) {
  std::vector<TWatchItem*> items;
  for (int i = 0; i < 40; ++i) {
    items.push_back(&AddSite("site" + std::to_string(i)));
    Checks.Hold(items.back()->Url);
  }
  StartManager();
  Advance(100);
  EXPECT_EQ(Manager->CheckerCount(), 40u);
  EXPECT_EQ(Checks.Waiting(), 40u);

  const std::size_t statusesBefore = Statuses.size();
  Manager->Wake();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Loop.NextDueIn(), std::optional<std::uint64_t>(100));
  Advance(100);
  EXPECT_EQ(Loop.NextDueIn(), std::optional<std::uint64_t>(100));
  // A tick held back by the limit does not even begin.
  EXPECT_EQ(Statuses.size(), statusesBefore);

  for (int i = 0; i < 9; ++i)
    Checks.Release(items[static_cast<std::size_t>(i)]->Url);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Manager->CheckerCount(), 31u);
  // The wake-ups of the finished checks still saw 32 or more running.
  EXPECT_EQ(Loop.NextDueIn(), std::optional<std::uint64_t>(100));
  Advance(100);
  EXPECT_EQ(Statuses.back(), "Start checking");
  const std::optional<std::uint64_t> due = Loop.NextDueIn();
  ASSERT_TRUE(due.has_value());
  EXPECT_GT(*due, 100u);
  Checks.ReleaseAll();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Sink.Records.size(), 40u);
}

TEST_F(CheckScheduling, ACheckLongerThanItsFrequencyGetsASecondChecker) {
  TWatchItem& item = AddSite("slow", 10);
  Checks.Hold(item.Url);
  StartManager();
  Advance(100);
  EXPECT_EQ(Manager->CheckerItemIds(), (Ids{item.Id()}));
  Advance(10000 + 3);
  EXPECT_EQ(Manager->CheckerItemIds(), (Ids{item.Id(), item.Id()}));
  Checks.Release(item.Url);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Manager->CheckerCount(), 0u);
  EXPECT_EQ(Sink.Records.size(), 2u);
  EXPECT_EQ(item.TimesChecked, 2);
}

TEST_F(CheckScheduling, PauseLetsRunningChecksFinishButDiscardsTheirResults) {
  TWatchItem& item = AddSite("a", 60);
  // A recorded check two minutes ago: the schedule falls back to it.
  const TDateTime recorded = At(-120000);
  List.ApplyResult(test::Result(item, true, 80, kResponseOk, recorded));
  Checks.Hold(item.Url);
  StartManager();
  Advance(100);
  ASSERT_EQ(Manager->CheckerCount(), 1u);
  EXPECT_EQ(item.LastChecked(), At(100));

  Manager->Pause();
  State.Paused = true;
  EXPECT_EQ(Statuses.back(), "Pause checking");
  EXPECT_FALSE(Manager->Running());
  Checks.Release(item.Url);
  ASSERT_TRUE(Settle());

  EXPECT_EQ(CountLines("End checking a "), 1u);
  EXPECT_EQ(Sink.Records.size(), 1u);
  EXPECT_EQ(History.PendingCount(), 0u);
  EXPECT_EQ(item.TimesChecked, 1);
  EXPECT_EQ(item.LastChecked(), recorded);
  EXPECT_EQ(item.NextRun(), IncSeconds(recorded, 60));
  EXPECT_EQ(Manager->CheckerCount(), 0u);
  EXPECT_EQ(Statuses.back(), "Done");

  // Overdue, but paused: neither the timer nor a wake-up starts anything.
  Manager->Wake();
  Advance(120000);
  EXPECT_EQ(Checks.Requests().size(), 1u);
}

TEST_F(CheckScheduling, PauseBeforeACheckBeginsStopsItAndRestoresItsSchedule) {
  TWatchItem& first = AddSite("first");
  TWatchItem& second = AddSite("second");
  // Pausing while the second checker is made: the first exists but has not
  // been prepared yet, since the tick still runs on the main thread.
  int made = 0;
  Checks.OnCreate = [&] {
    if (++made == 2)
      Manager->Pause();
  };
  StartManager();
  Advance(100);
  EXPECT_EQ(CountLines("Stop checking first (http://first.test/)"), 1u);
  EXPECT_EQ(CountLines("End checking first "), 0u);
  EXPECT_EQ(Checks.Hosts(), std::vector<std::string>{"http://second.test/"});
  EXPECT_EQ(first.LastChecked(), 0);
  EXPECT_EQ(first.TimesChecked, 0);
  EXPECT_EQ(second.TimesChecked, 1);
}

TEST_F(CheckScheduling, ResumeMakesItemsThatFellDueDuringThePauseDueAtOnce) {
  TWatchItem& a = AddSite("a", 60);
  TWatchItem& b = AddSite("b", 300);
  StartManager();
  Advance(100);
  ASSERT_EQ(Checks.Requests().size(), 2u);
  Manager->Pause();
  Advance(600000);
  EXPECT_EQ(Checks.Requests().size(), 2u);

  Manager->Resume();
  EXPECT_EQ(Statuses.back(), "Resume checking");
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Checks.Requests().size(), 4u);
  EXPECT_EQ(a.LastChecked(), Clock.Now());
  EXPECT_EQ(b.LastChecked(), Clock.Now());
  EXPECT_TRUE(Manager->Running());
}

TEST_F(CheckScheduling, CreatedPausedTheSchedulerWaitsForResume) {
  AddSite("a");
  StartManager(true);
  Advance(60000);
  EXPECT_TRUE(Checks.Requests().empty());
  Manager->Resume();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Checks.Requests().size(), 1u);
}

TEST_F(CheckScheduling, ErrorInATickReachesTheHandlerAndArmsNoTimer) {
  AddSite("a");
  Checks.OnCreate = [] { throw std::runtime_error("no more threads"); };
  StartManager();
  Advance(100);
  EXPECT_EQ(Errors, Texts{"no more threads"});
  EXPECT_EQ(Loop.NextDueIn(), std::nullopt);
  EXPECT_EQ(Manager->CheckerCount(), 0u);

  // The next wake-up ticks normally again.
  Checks.OnCreate = nullptr;
  TWatchItem& b = AddSite("b");
  Manager->Wake();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Checks.Hosts(), std::vector<std::string>{"http://b.test/"});
  EXPECT_EQ(b.TimesChecked, 1);
}

}  // namespace
}  // namespace vantrel
