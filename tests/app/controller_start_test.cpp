// Starting the monitor: what a fresh folder gives, what an earlier run left
// behind, and what a start does with files it cannot read.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "controller_fixture.h"
#include "platform/ui_pump.h"
#include "storage/log_file.h"

namespace vantrel::test {
namespace {

using TControllerStart = TControllerFixture;

TPreferences DefaultPreferences() {
  TPreferences preferences;
  SetDefaultPreferences(preferences);
  return preferences;
}

TEST_F(TControllerStart, FreshFolderGivesAnEmptyListTheDefaultsAndNoError) {
  // An earlier monitor of this process left other values behind.
  TPreferences earlier = DefaultPreferences();
  earlier.Autosave = false;
  earlier.LogType = TPreferences::UnlimitedLog;
  SetPreferences(earlier);

  Start();

  EXPECT_EQ(List().Count(), 0);
  EXPECT_TRUE(Events.Errors.empty());
  EXPECT_TRUE(Events.Warnings.empty());
  EXPECT_EQ(GetPreferences(), DefaultPreferences());
  EXPECT_FALSE(App().TableView());
  ASSERT_EQ(ItemView.Columns().size(), 1u);
  EXPECT_EQ(ItemView.Columns()[0].Caption, "Status/Name");
  EXPECT_EQ(App().Autosave().IntervalMs(), 15u * 60 * 1000);
  EXPECT_FALSE(std::filesystem::exists(File("vantrel.vtd")));
  EXPECT_EQ(ReadFileBytes(File("vantrel.log")), TLogFile::TitleLine() + "\r\n");
  // The first connection evaluation switched checking on.
  EXPECT_EQ(Events.States, (std::vector<TConnectState>{TConnectState::Connected}));
  EXPECT_TRUE(App().Scheduler().Running());
}

TEST_F(TControllerStart, OfflineAtStartLeavesCheckingOffAndChecksNothing) {
  Online = false;
  Start();
  EXPECT_EQ(Events.States, (std::vector<TConnectState>{TConnectState::Disconnected}));
  EXPECT_FALSE(App().Scheduler().Running());
  AddSite("a");
  Advance(5000);
  EXPECT_TRUE(Checks.Requests().empty());
}

TEST_F(TControllerStart, EarlierRunIsRestoredWithStatisticsSettingsAndIdentifiers) {
  Start();
  Checks.Script(Host("b"), TCheckResult{false, 0, 408, ""});
  TWatchItem& a = AddSite("a");
  TWatchItem& b = AddSite("b");
  const std::int32_t idA = a.Id();
  const std::int32_t idB = b.Id();
  Advance(100);
  ASSERT_EQ(Events.CountResults(true), 2u);
  App().acTableView();
  Stop();

  Events = TRecordedEvents();
  Start();
  EXPECT_TRUE(Events.Errors.empty());
  ASSERT_EQ(List().Count(), 2);
  const TWatchItem& restoredA = List().Item(List().IndexOfId(idA));
  const TWatchItem& restoredB = List().Item(List().IndexOfId(idB));
  EXPECT_EQ(restoredA.Name, "a");
  EXPECT_EQ(restoredA.TimesChecked, 1);
  EXPECT_EQ(restoredA.TimesFailed, 0);
  EXPECT_EQ(restoredB.TimesChecked, 1);
  EXPECT_EQ(restoredB.TimesFailed, 1);
  // The table view came from the settings file and shaped the rows.
  EXPECT_TRUE(App().TableView());
  EXPECT_GT(ItemView.Columns().size(), 1u);
  EXPECT_GT(ItemView.Row(0).SubItems.size(), 0u);
  EXPECT_EQ(AddSite("c").Id(), idB + 1);
}

TEST_F(TControllerStart, IdentifiersInTheHistoryAreNotGivenAgainWithoutAWatchList) {
  Start();
  AddSite("a");
  const std::int32_t lastId = AddSite("b").Id();
  Advance(100);
  Stop();
  std::filesystem::remove(File("vantrel.vtd"));

  Start();
  EXPECT_EQ(List().Count(), 0);
  EXPECT_GT(AddSite("new").Id(), lastId);
}

TEST_F(TControllerStart, UnreadableWatchListIsReportedAndNotOverwrittenAtTheEnd) {
  const std::string garbage = "this is not a watch list";
  WriteFileBytes(File("vantrel.vtd"), garbage);
  Start();
  ASSERT_EQ(Events.Errors.size(), 1u);
  EXPECT_NE(Events.Errors[0].find("Wrong file format."), std::string::npos) << Events.Errors[0];
  EXPECT_EQ(List().Count(), 0);
  EXPECT_TRUE(App().Scheduler().Running());  // the monitor goes on
  Stop();
  EXPECT_EQ(ReadFileBytes(File("vantrel.vtd")), garbage);
}

TEST_F(TControllerStart, UnreadableSettingsFileStopsTheStartAndRemovesThePump) {
  std::filesystem::create_directory(File("vantrel.ini"));  // exists, cannot be read
  EXPECT_ANY_THROW(Start());
  bool ran = false;
  Loop->Post([&] { ran = true; });
  PumpUi();
  EXPECT_FALSE(ran);
}

TEST_F(TControllerStart, StartWithoutTheFolderLockIsRefused) {
  Lock.Unlock();
  EXPECT_THROW(Start(), std::logic_error);
}

TEST_F(TControllerStart, SettingsFileOverridesTheDefaults) {
  WriteFileBytes(File("vantrel.ini"),
                 "[Preferences]\r\nAutosave=1\r\nAutosaveFrequency=2\r\nLogType=1\r\n");
  Start();
  EXPECT_EQ(App().Autosave().IntervalMs(), 2u * 60 * 1000);
  EXPECT_EQ(GetPreferences().LogType, TPreferences::UnlimitedLog);
}

}  // namespace
}  // namespace vantrel::test
