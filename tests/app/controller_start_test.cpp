// Starting the monitor in a fresh or used data folder, the auto-save, and the
// stop with checks under way.

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "app/autosave_timer.h"
#include "controller_fixture.h"
#include "platform/ui_pump.h"
#include "storage/log_file.h"
#include "storage/temp_history.h"

namespace vantrel::test {
namespace {

using TControllerStart = TControllerFixture;
using States = std::vector<TConnectState>;

constexpr std::uint64_t kMinute = 60 * 1000;

// The default settings are the settings' own test; the default auto-save
// period shows in the auto-save test.
TEST_F(TControllerStart, FreshFolderGivesAnEmptyListInTheNameViewAndNoError) {
  Start();
  EXPECT_EQ(List().Count(), 0);
  EXPECT_TRUE(Events.Errors.empty());
  EXPECT_TRUE(Events.Warnings.empty());
  ASSERT_EQ(ItemView.Columns().size(), 1u);
  EXPECT_EQ(ItemView.Columns()[0].Caption, "Status/Name");
  EXPECT_FALSE(std::filesystem::exists(File("vantrel.vtd")));
  EXPECT_EQ(ReadFileBytes(File("vantrel.log")), TLogFile::TitleLine() + "\r\n");
  EXPECT_EQ(Events.States, States{TConnectState::Connected});
  EXPECT_TRUE(App().Scheduler().Running());
}

TEST_F(TControllerStart, RestartRestoresStatisticsSettingsAndIdentifiersEvenFromTheHistoryAlone) {
  Start();
  Checks.Script(Host("b"), TCheckResult{false, 0, 408, ""});
  const std::int32_t idA = AddSite("a").Id();
  const std::int32_t idB = AddSite("b").Id();
  Advance(100);
  App().acTableView();
  Stop();

  Events = TRecordedEvents();
  Start();
  EXPECT_TRUE(Events.Errors.empty());
  ASSERT_EQ(List().Count(), 2);
  const TWatchItem& a = List().Item(List().IndexOfId(idA));
  const TWatchItem& b = List().Item(List().IndexOfId(idB));
  EXPECT_EQ(a.Name, "a");
  EXPECT_EQ(a.TimesChecked, 1);
  EXPECT_EQ(a.TimesFailed, 0);
  EXPECT_EQ(b.TimesChecked, 1);
  EXPECT_EQ(b.TimesFailed, 1);
  EXPECT_TRUE(App().TableView());  // from the settings file, and it shaped the rows
  EXPECT_GT(ItemView.Row(0).SubItems.size(), 0u);
  EXPECT_EQ(AddSite("c").Id(), idB + 1);
  Advance(100);
  Stop();

  std::filesystem::remove(File("vantrel.vtd"));
  Start();
  EXPECT_EQ(List().Count(), 0);
  EXPECT_GT(AddSite("new").Id(), idB + 1);
}

TEST_F(TControllerStart, UnreadableWatchListIsReportedAndNotOverwrittenAtTheEnd) {
  const std::string garbage = "this is not a watch list";
  WriteFileBytes(File("vantrel.vtd"), garbage);
  Start();
  ASSERT_EQ(Events.Errors.size(), 1u);
  EXPECT_NE(Events.Errors[0].find("Wrong file format."), std::string::npos) << Events.Errors[0];
  EXPECT_TRUE(App().Scheduler().Running());  // the monitor goes on
  Stop();
  EXPECT_EQ(ReadFileBytes(File("vantrel.vtd")), garbage);
}

TEST_F(TControllerStart, PumpRunsTheLoopOnlyWhileAMonitorRuns) {
  Start();
  int ran = 0;
  Loop->Post([&] { ++ran; });
  PumpUi();
  EXPECT_EQ(ran, 1);
  Stop();
  {
    auto timer = Loop->CreateTimer([&] { ++ran; });
    timer->Start(0);
    PumpUi();
    EXPECT_EQ(ran, 1);
  }

  Lock.Unlock();
  EXPECT_THROW(Start(), std::logic_error);
  ASSERT_TRUE(Lock.TryLock());
  std::filesystem::remove(File("vantrel.ini"));
  std::filesystem::create_directory(File("vantrel.ini"));  // exists, cannot be read
  EXPECT_ANY_THROW(Start());
  Loop->Post([&] { ++ran; });
  PumpUi();
  EXPECT_EQ(ran, 1);  // a failed start leaves no pump behind
}

TEST_F(TControllerStart, SettingsFileOverridesTheDefaultsAndSendsCheckLinesToTheLog) {
  WriteFileBytes(File("vantrel.ini"),
                 "[Preferences]\r\nAutosave=1\r\nAutosaveFrequency=2\r\nLogType=1\r\n");
  Start();
  EXPECT_EQ(App().Autosave().IntervalMs(), 2u * 60 * 1000);
  AddSite("a");
  Advance(100);
  const std::string log = ReadFileBytes(File("vantrel.log"));
  EXPECT_NE(log.find("Start checking a (http://a.test/)"), std::string::npos) << log;
  EXPECT_NE(log.find("End checking a (http://a.test/)"), std::string::npos) << log;
}

TEST_F(TControllerStart, AutosaveWritesTheListAndBothHistoriesAtItsInterval) {
  WriteFileBytes(File("vantrel.ini"), "[Service]\r\nServiceStatus=1\r\n");
  Start();
  TWatchItem& a = AddSite("a", 3600, false);  // suspended: the test feeds its results
  a.ServiceId = 9;
  App().HandleResult(Record(a));
  ASSERT_EQ(App().History().PendingCount(), 1u);
  ASSERT_EQ(App().TempHistory().PendingCount(), 1u);
  Advance(15 * kMinute - 1);
  EXPECT_FALSE(std::filesystem::exists(File("vantrel.vtd")));
  EXPECT_FALSE(std::filesystem::exists(File("vantrel.vth")));
  Advance(1);
  EXPECT_TRUE(std::filesystem::exists(File("vantrel.vtd")));
  EXPECT_TRUE(std::filesystem::exists(File("vantrel.vtt")));
  EXPECT_EQ(App().History().PendingCount(), 0u);
  EXPECT_EQ(App().TempHistory().PendingCount(), 0u);
  EXPECT_FALSE(List().Modified());
  TSavedList saved(Dir.Path());
  ASSERT_EQ(saved.List.Count(), 1);
  EXPECT_EQ(saved.List.Item(0).TimesChecked, 1);
  EXPECT_TRUE(Events.Errors.empty());
}

// The stop also cancels a check that is under way (the scheduler's own test
// shows how) before the list it belongs to goes.
TEST_F(TControllerStart, WithAutosaveOffOnlyTheStopSavesAndItCancelsTheCheckUnderWay) {
  WriteFileBytes(File("vantrel.ini"), "[Preferences]\r\nAutosave=0\r\n");
  Start();
  EXPECT_FALSE(App().Autosave().Running());
  AddSite("a", 3600, false);
  Checks.Hold(Host("held"));
  AddSite("held");
  Advance(60 * kMinute);
  EXPECT_FALSE(std::filesystem::exists(File("vantrel.vtd")));
  Stop();
  EXPECT_EQ(Checks.CancelledRuns(), 1u);
  EXPECT_EQ(ItemView.RowCount(), 0);  // no row points at a freed item
  EXPECT_EQ(TSavedList(Dir.Path()).List.Count(), 2);
}

TEST_F(TControllerStart, AutosaveFailureIsReportedAndTheOtherFilesAreStillSaved) {
  Start();
  App().HandleResult(Record(AddSite("a", 3600, false)));
  // A folder where the watch list should be: it cannot be replaced.
  std::filesystem::create_directories(File("vantrel.vtd") / "in-the-way");
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

}  // namespace
}  // namespace vantrel::test
