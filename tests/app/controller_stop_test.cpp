// The auto-save, the stop of the monitor with checks under way, and the pump.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/autosave_timer.h"
#include "controller_fixture.h"
#include "platform/ui_pump.h"
#include "storage/temp_history.h"

namespace vantrel::test {
namespace {

using TControllerStop = TControllerFixture;

constexpr std::uint64_t kMinute = 60 * 1000;

std::size_t ThreadCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}

TEST_F(TControllerStop, AutosaveWritesTheListAndTheHistoryAtItsInterval) {
  Start();
  TWatchItem& a = AddSite("a", 3600, false);  // suspended: the test feeds its results
  App().HandleResult(
      THistoryRecord{static_cast<std::uint32_t>(a.Id()), true, Clock.Now(), 50, 200});
  ASSERT_EQ(App().History().PendingCount(), 1u);

  Advance(15 * kMinute - 1);
  EXPECT_FALSE(std::filesystem::exists(File("vantrel.vtd")));
  EXPECT_FALSE(std::filesystem::exists(File("vantrel.vth")));
  Advance(1);
  EXPECT_TRUE(std::filesystem::exists(File("vantrel.vtd")));
  EXPECT_EQ(App().History().PendingCount(), 0u);
  EXPECT_FALSE(List().Modified());

  AddSite("b", 3600, false);
  Advance(15 * kMinute);
  TSavedList saved(Dir.Path());
  EXPECT_EQ(saved.List().Count(), 2);
  ASSERT_NE(saved.Find("a"), nullptr);
  EXPECT_EQ(saved.Find("a")->TimesChecked, 1);
  EXPECT_TRUE(Events.Errors.empty());
}

TEST_F(TControllerStop, AutosaveAlsoFlushesTheQueueForTheWebService) {
  WriteFileBytes(File("vantrel.ini"), "[Service]\r\nServiceStatus=1\r\n");
  Start();
  TWatchItem source(Clock);
  source.Name = "served";
  source.ServiceId = 9;
  source.SetActive(false);
  TWatchItem& served = App().acAddNew(source);
  App().HandleResult(
      THistoryRecord{static_cast<std::uint32_t>(served.Id()), true, Clock.Now(), 50, 200});
  ASSERT_EQ(App().TempHistory().PendingCount(), 1u);
  Advance(15 * kMinute);
  EXPECT_EQ(App().TempHistory().PendingCount(), 0u);
  EXPECT_TRUE(std::filesystem::exists(File("vantrel.vtt")));
}

TEST_F(TControllerStop, AutosaveOffWritesNothingBeforeTheStop) {
  WriteFileBytes(File("vantrel.ini"), "[Preferences]\r\nAutosave=0\r\n");
  Start();
  EXPECT_FALSE(App().Autosave().Running());
  AddSite("a", 3600, false);
  Advance(60 * kMinute);
  EXPECT_FALSE(std::filesystem::exists(File("vantrel.vtd")));
  Stop();
  EXPECT_NE(TSavedList(Dir.Path()).Find("a"), nullptr);
}

TEST_F(TControllerStop, AutosaveFailureIsReportedAndTheOtherFilesAreStillSaved) {
  Start();
  TWatchItem& a = AddSite("a", 3600, false);
  App().HandleResult(
      THistoryRecord{static_cast<std::uint32_t>(a.Id()), true, Clock.Now(), 50, 200});
  // A folder where the watch list should be: it cannot be replaced.
  std::filesystem::create_directory(File("vantrel.vtd"));
  std::filesystem::create_directory(File("vantrel.vtd") / "in-the-way");
  Advance(15 * kMinute);
  EXPECT_EQ(Events.Errors.size(), 1u);
  EXPECT_EQ(App().History().PendingCount(), 0u);
  EXPECT_TRUE(List().Modified());  // tried again at the next save
}

TEST(AutosaveTimer, PeriodOfNoMinutesStopsTheTimer) {
  TManualClock clock;
  TManualMainLoop loop(clock);
  int saves = 0;
  TAutosaveTimer timer(loop, [&] { ++saves; });
  timer.Configure(true, 1);
  loop.AdvanceBy(2 * kMinute);
  EXPECT_EQ(saves, 2);
  timer.Configure(true, 0);
  EXPECT_FALSE(timer.Running());
  loop.AdvanceBy(10 * kMinute);
  EXPECT_EQ(saves, 2);
}

TEST_F(TControllerStop, StopWhileChecksAreBlockedSavesEverythingAndLeavesNoThread) {
  const std::size_t threadsBefore = ThreadCount();
  Start();
  TWatchItem& done = AddSite("done");
  const std::int32_t doneId = done.Id();
  for (const char* name : {"held1", "held2", "held3"}) {
    Checks.Hold(Host(name));
    AddSite(name);
  }
  Advance(100);
  ASSERT_EQ(Checks.Waiting(), 3u);
  ASSERT_EQ(App().History().PendingCount(), 1u);
  App().acTableView();
  EXPECT_GT(ThreadCount(), threadsBefore);

  Stop();

  EXPECT_EQ(ThreadCount(), threadsBefore);
  EXPECT_EQ(Checks.CancelledRuns(), 3u);
  EXPECT_EQ(Checks.RunsEnded(), 4u);
  EXPECT_EQ(Events.Results.size(), 1u);  // the cancelled checks record nothing
  EXPECT_TRUE(Events.Errors.empty());
  EXPECT_EQ(ItemView.RowCount(), 0);  // no row points at a freed item

  const std::string settings = ReadFileBytes(File("vantrel.ini"));
  EXPECT_NE(settings.find("TableView=1"), std::string::npos) << settings;
  TSavedList saved(Dir.Path());
  EXPECT_EQ(saved.List().Count(), 4);
  ASSERT_NE(saved.Find("done"), nullptr);
  EXPECT_EQ(saved.Find("done")->Id(), doneId);
  EXPECT_EQ(saved.Find("done")->TimesChecked, 1);
  EXPECT_EQ(saved.Find("held1")->TimesChecked, 0);
}

TEST_F(TControllerStop, PumpRunsTheLoopWhileTheMonitorRunsAndNothingAfter) {
  Start();
  bool ran = false;
  Loop->Post([&] { ran = true; });
  PumpUi();
  EXPECT_TRUE(ran);

  Stop();
  bool fired = false;
  auto timer = Loop->CreateTimer([&] { fired = true; });
  timer->Start(0);
  PumpUi();
  EXPECT_FALSE(fired);
}

}  // namespace
}  // namespace vantrel::test
