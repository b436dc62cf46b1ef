// Checking follows the connection and the user's pause; results that arrive
// while either stops it are discarded; what the front hears of it all.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "controller_fixture.h"

namespace vantrel::test {
namespace {

using TControllerChecking = TControllerFixture;

TEST_F(TControllerChecking, RecordedResultIsStoredAndReportedWithItsItem) {
  Start();
  TWatchItem& a = AddSite("a");
  Advance(100);
  ASSERT_EQ(Events.Results.size(), 1u);
  EXPECT_EQ(Events.Results[0].Item, "a");
  EXPECT_TRUE(Events.Results[0].Recorded);
  EXPECT_TRUE(Events.Results[0].Record.Success);
  EXPECT_EQ(Events.Results[0].Record.ResponseTime, 100);
  EXPECT_EQ(a.TimesChecked, 1);
  EXPECT_EQ(HistoryOf(a.Id()).size(), 1u);
}

TEST_F(TControllerChecking, GoingOfflinePausesCheckingAndDiscardsTheResultThatArrives) {
  Start();
  Checks.Hold(Host("a"));
  TWatchItem& a = AddSite("a");
  Advance(100);
  ASSERT_EQ(Checks.Waiting(), 1u);

  SetOnline(false);
  EXPECT_EQ(Events.States.back(), TConnectState::Disconnected);
  EXPECT_FALSE(App().Scheduler().Running());

  Checks.Release(Host("a"));
  ASSERT_TRUE(Settle());
  ASSERT_EQ(Events.Results.size(), 1u);
  EXPECT_FALSE(Events.Results[0].Recorded);
  EXPECT_EQ(a.TimesChecked, 0);
  EXPECT_TRUE(HistoryOf(a.Id()).empty());

  Advance(120000);
  EXPECT_EQ(Checks.Requests().size(), 1u);  // nothing checked while offline

  SetOnline(true);
  EXPECT_EQ(Events.States.back(), TConnectState::Connected);
  Advance(100);
  EXPECT_EQ(Checks.Requests().size(), 2u);  // due at once when the connection is back
  EXPECT_EQ(a.TimesChecked, 1);
}

TEST_F(TControllerChecking, ResultArrivingWhilePausedIsDiscardedAndTheItemStaysDue) {
  Start();
  TWatchItem& a = AddSite("a");
  Advance(100);
  ASSERT_EQ(a.TimesChecked, 1);
  const TDateTime lastChecked = a.LastChecked();
  App().acPause();
  Advance(1000);

  // A check that was under way when the user paused ends now.
  a.SetLastChecked(Clock.Now());
  App().HandleResult(THistoryRecord{static_cast<std::uint32_t>(a.Id()), false, Clock.Now(), 0, 0});
  EXPECT_FALSE(Events.Results.back().Recorded);
  EXPECT_EQ(a.TimesChecked, 1);
  EXPECT_EQ(a.TimesFailed, 0);
  EXPECT_EQ(a.LastChecked(), lastChecked);
  EXPECT_EQ(HistoryOf(a.Id()).size(), 1u);
}

TEST_F(TControllerChecking, PauseThenRunNowEndsThePauseAndChecksEveryDueItem) {
  Start();
  TWatchItem& a = AddSite("a");
  TWatchItem& b = AddSite("b");
  AddSite("c");
  Advance(100);
  ASSERT_EQ(Checks.Requests().size(), 3u);

  App().acPause();
  EXPECT_TRUE(App().Paused());
  EXPECT_EQ(Events.States.back(), TConnectState::Paused);
  Advance(120000);
  EXPECT_EQ(Checks.Requests().size(), 3u);

  SelectOnly({&b});
  ASSERT_TRUE(App().acRunNow());
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(App().Paused());
  EXPECT_EQ(Events.States.back(), TConnectState::Connected);
  EXPECT_EQ(RequestsFor("a"), 2u);
  EXPECT_EQ(RequestsFor("b"), 2u);
  EXPECT_EQ(RequestsFor("c"), 2u);
  EXPECT_EQ(a.TimesChecked, 2);
}

TEST_F(TControllerChecking, ConnectionStateShowsThePauseBeforeTheConnection) {
  Start();
  AddSite("a");
  Advance(100);
  App().acPause();
  SetOnline(false);
  SetOnline(true);
  EXPECT_EQ(Events.States,
            (std::vector<TConnectState>{TConnectState::Connected, TConnectState::Paused}));
  EXPECT_FALSE(App().Scheduler().Running());  // the connection coming back does not end a pause

  SetOnline(false);
  EXPECT_FALSE(App().acRunAllNow());  // disabled while offline: the pause stays
  EXPECT_TRUE(App().Paused());
  SetOnline(true);
  ASSERT_TRUE(App().acRunAllNow());
  EXPECT_EQ(Events.States.back(), TConnectState::Connected);
  EXPECT_EQ(ConnectStateText(App().ConnectState()), "Connected");
}

TEST_F(TControllerChecking, AlarmAndResetReachTheAlarmActionsOnce) {
  Start();
  Checks.Script(Host("a"), TCheckResult{false, 0, 408, ""});
  Checks.Script(Host("a"), TCheckResult{false, 0, 408, ""});
  TWatchItem source(Clock);
  source.Name = "a";
  source.Url = Host("a");
  source.CheckType = TCheckType::Download;
  source.AlarmTrigger = true;
  source.TriggerCount = 1;
  source.AlarmReset = true;
  source.ResetCount = 1;
  App().acAddNew(source);
  Advance(100);
  Advance(60000);
  EXPECT_EQ(Alarms.Lines, (std::vector<std::string>{"DOWN a"}));
  Advance(60000);
  EXPECT_EQ(Alarms.Lines, (std::vector<std::string>{"DOWN a", "UP a"}));
}

TEST_F(TControllerChecking, SchedulerStatusTextsAndCheckErrorsReachTheFront) {
  Start();
  AddSite("a");
  Advance(100);
  EXPECT_NE(std::find(Events.Statuses.begin(), Events.Statuses.end(), "Done"),
            Events.Statuses.end());
  bool failed = false;
  Checks.OnCreate = [&] {
    if (!failed) {
      failed = true;
      throw std::runtime_error("no runner for this check");
    }
  };
  AddSite("b");
  Advance(100);
  EXPECT_EQ(Events.Errors, (std::vector<std::string>{"no runner for this check"}));
}

TEST_F(TControllerChecking, CheckLinesGoToTheLogWhenTheSettingsAskForIt) {
  WriteFileBytes(File("vantrel.ini"), "[Preferences]\r\nLogType=1\r\n");
  Start();
  AddSite("a");
  Advance(100);
  const std::string log = ReadFileBytes(File("vantrel.log"));
  EXPECT_NE(log.find("Start checking a (http://a.test/)"), std::string::npos) << log;
  EXPECT_NE(log.find("End checking a (http://a.test/)"), std::string::npos) << log;
}

}  // namespace
}  // namespace vantrel::test
