// When the scheduler starts checks: idle wait, wake-ups, order, the limit of
// running checkers, pause and resume; which results are recorded.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "checking_fixture.h"
#include "core/response_codes.h"

namespace vantrel {
namespace {

using Ids = std::vector<std::int32_t>;
using Texts = std::vector<std::string>;
using Due = std::optional<std::uint64_t>;

// A due moment computed as date plus seconds may lie up to a millisecond
// beyond the virtual clock's whole milliseconds.
constexpr std::uint64_t kSlackMs = 3;

class CheckScheduling : public test::TCheckingFixture {};

TEST_F(CheckScheduling, FirstTickAfter100msThenIdleFifteenMinutesUntilWoken) {
  StartManager();
  EXPECT_EQ(Loop.NextDueIn(), Due(100));
  Advance(100);
  EXPECT_EQ(Loop.NextDueIn(), Due(900000));
  EXPECT_EQ(Statuses, (Texts{"Start checking", "Done"}));

  TWatchItem& item = AddSite("a");
  Manager->Wake();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Checks.Hosts(), Texts{"http://a.test/"});
  EXPECT_EQ(item.LastChecked(), Clock.Now());
  const Due due = Loop.NextDueIn();  // the item's next run
  ASSERT_TRUE(due.has_value());
  EXPECT_NEAR(static_cast<double>(*due), 60000.0, 1.0);
  EXPECT_EQ(Manager->StatusText(), "Done");
}

TEST_F(CheckScheduling, FortyDueItemsAllStartInOneTickThenTicksRetryEvery100ms) {
  std::vector<std::string> urls;
  for (int i = 0; i < 40; ++i) {
    urls.push_back(AddSite("site" + std::to_string(i)).Url);
    Checks.Hold(urls.back());
  }
  StartManager();
  Advance(100);
  EXPECT_EQ(Manager->CheckerCount(), 40u);

  const std::size_t statusesBefore = Statuses.size();
  Manager->Wake();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Loop.NextDueIn(), Due(100));
  Advance(100);
  EXPECT_EQ(Loop.NextDueIn(), Due(100));
  EXPECT_EQ(Statuses.size(), statusesBefore);  // a tick held back does not even begin

  for (int i = 0; i < 9; ++i)
    Checks.Release(urls[static_cast<std::size_t>(i)]);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Manager->CheckerCount(), 31u);
  EXPECT_EQ(Loop.NextDueIn(), Due(100));  // the wake-ups still saw 32 or more
  Advance(100);
  EXPECT_EQ(Statuses.back(), "Start checking");
  EXPECT_GT(Loop.NextDueIn().value_or(0), 100u);
  Checks.ReleaseAll();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Sink.Records.size(), 40u);
}

TEST_F(CheckScheduling, TickEndsWhenStartingChecksTakesLongerThanTheirFrequency) {
  // Each start costs 400 ms of virtual time, so 1-second items fall due again
  // before one tick has started them all. The cost stops after 100 starts, so
  // a scheduler that keeps starting them fails here instead of hanging.
  for (const char* name : {"a", "b", "c", "d", "e"})
    Checks.Hold(AddSite(name, 1).Url);
  TCheckerContext context = Context();
  int starts = 0;
  context.MakeRunner = [this, &starts, inner = context.MakeRunner] {
    if (++starts < 100)
      Clock.Advance(400);
    return inner();
  };
  Manager = std::make_unique<TCheckerManager>(context);
  Advance(100);
  EXPECT_EQ(Manager->CheckerCount(), 5u);
  Checks.ReleaseAll();
}

TEST_F(CheckScheduling, ACheckLongerThanItsFrequencyHoldsOnePlaceAndFallsDueWhenItEnds) {
  TWatchItem& slow = AddSite("slow", 1);
  TWatchItem& other = AddSite("other", 1);
  Checks.Hold(slow.Url);
  StartManager();
  Advance(100);
  for (int second = 0; second < 40; ++second)
    Advance(1000 + kSlackMs);
  EXPECT_EQ(Manager->CheckerItemIds(), Ids{slow.Id()});
  EXPECT_EQ(other.TimesChecked, 41);

  Checks.Release(slow.Url);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(slow.TimesChecked, 2);
  EXPECT_EQ(slow.LastChecked(), Clock.Now());  // at once: its next run had long passed
}

TEST_F(CheckScheduling, FrequencyOfZeroOrLessIsCheckedEverySecondAndLoggedOnce) {
  // As a hand-made file may hold them (the commands refuse such values).
  TWatchItem& zero = AddSite("zero", 0);
  zero.Name = "zero\x1b[2J";
  TWatchItem& negative = AddSite("negative", -5);
  // A scheduler that keeps starting them fails here instead of hanging.
  int made = 0;
  Checks.OnCreate = [&] {
    if (++made > 20)
      throw std::runtime_error("runaway");
  };
  StartManager();
  Advance(100);
  for (int second = 0; second < 5; ++second)
    Advance(1000 + kSlackMs);
  EXPECT_EQ(Checks.Requests().size(), 12u);
  EXPECT_TRUE(Errors.empty());
  for (const std::string item :
       {"zero\\x1b[2J (http://zero.test/) is 0", "negative (http://negative.test/) is -5"})
    EXPECT_EQ(CountLines("Frequency of " + item + " seconds; checked every second instead"), 1u)
        << item;
  EXPECT_EQ(zero.Frequency(), 0);  // the file is written back as it was
  EXPECT_EQ(negative.Frequency(), -5);
}

TEST_F(CheckScheduling, PauseLetsRunningChecksFinishButDiscardsTheirResults) {
  TWatchItem& item = AddSite("a", 60);
  const TDateTime recorded = At(-120000);
  List.ApplyResult(test::Result(item, true, 80, kResponseOk, recorded));
  Checks.Hold(item.Url);
  StartManager();
  Advance(100);
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
  EXPECT_EQ(item.LastChecked(), recorded);  // the schedule falls back
  EXPECT_EQ(item.NextRun(), IncSeconds(recorded, 60));
  EXPECT_EQ(Statuses.back(), "Done");

  Manager->Wake();  // overdue, but paused
  Advance(120000);
  EXPECT_EQ(Checks.Requests().size(), 1u);
}

TEST_F(CheckScheduling, PauseBeforeACheckBeginsStopsItAndRestoresItsSchedule) {
  TWatchItem& first = AddSite("first");
  TWatchItem& second = AddSite("second");
  // While the second checker is made, the first is not yet prepared: the tick
  // still holds the main thread.
  int made = 0;
  Checks.OnCreate = [&] {
    if (++made == 2)
      Manager->Pause();
  };
  StartManager();
  Advance(100);
  EXPECT_EQ(CountLines("Stop checking first (http://first.test/)"), 1u);
  EXPECT_EQ(CountLines("End checking first "), 0u);
  EXPECT_EQ(Checks.Hosts(), Texts{"http://second.test/"});
  EXPECT_EQ(first.LastChecked(), 0);
  EXPECT_EQ(second.TimesChecked, 1);
}

TEST_F(CheckScheduling, ResumeMakesItemsThatFellDueDuringThePauseDueAtOnce) {
  TWatchItem& a = AddSite("a", 60);
  TWatchItem& b = AddSite("b", 300);
  StartManager(true);  // created paused
  Advance(100);
  EXPECT_TRUE(Checks.Requests().empty());
  Manager->Resume();
  ASSERT_TRUE(Settle());
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

TEST_F(CheckScheduling, ErrorInATickReachesTheHandlerAndTheNextWakeUpTicksAgain) {
  AddSite("a");
  Checks.OnCreate = [] { throw std::runtime_error("no more threads"); };
  StartManager();
  Advance(100);
  EXPECT_EQ(Errors, Texts{"no more threads"});
  EXPECT_EQ(Loop.NextDueIn(), std::nullopt);
  EXPECT_EQ(Manager->CheckerCount(), 0u);

  Checks.OnCreate = nullptr;
  AddSite("b");  // "a" was scheduled on by the failed tick
  Manager->Wake();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Checks.Hosts(), Texts{"http://b.test/"});
}

TEST_F(CheckScheduling, HandlerRecordsOnlineAndQueuesForTheWebServiceOnlyWhenItIsOn) {
  TWatchItem& item = AddSite("a");
  item.ServiceId = 77;
  const TDateTime earlier = At(-60000);
  Handler.HandleResult(test::Result(item, true, 10, kResponseOk, earlier));
  EditPreferences([](TPreferences& p) { p.ServiceStatus = true; });
  Handler.HandleResult(test::Result(item, true, 10, kResponseOk, earlier));
  EXPECT_EQ(History.PendingCount(), 2u);
  EXPECT_EQ(TempHistory.PendingCount(), 1u);
  EXPECT_EQ(item.TimesChecked, 2);

  State.Online = false;  // discarded: the schedule falls back
  item.SetLastChecked(Clock.Now());
  Handler.HandleResult(test::Result(item, false, -1, 0, Clock.Now()));
  EXPECT_EQ(History.PendingCount(), 2u);
  EXPECT_EQ(TempHistory.PendingCount(), 1u);
  EXPECT_EQ(item.TimesChecked, 2);
  EXPECT_EQ(item.LastChecked(), earlier);

  const THistoryRecord late = test::Result(item, false, -1, 0, Clock.Now());
  List.DeleteRow(RowOf(item));
  Handler.HandleResult(late);
  EXPECT_EQ(List.Count(), 0);
}

}  // namespace
}  // namespace vantrel
