// One checker's life: its log lines and status texts, the copies it checks
// with, items that change or vanish under it, errors and shut-down.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "checking_fixture.h"
#include "core/checker_manager.h"
#include "core/response_codes.h"

namespace vantrel {
namespace {

using Texts = std::vector<std::string>;

class Checker : public test::TCheckingFixture {
 protected:
  // A shop item of user "joe" whose failed pages are logged.
  TWatchItem& AddShop() {
    TWatchItem& item = AddSite("shop");
    item.Name = "Shop";
    item.Url = "https://www.example.org/x";
    item.Username = "joe";
    item.LogFailedPages = true;
    return item;
  }
};

TEST_F(Checker, PrepareAndFinishWriteTheirLinesExactly) {
  TWatchItem& item = AddShop();
  Checks.Script(item.Url, {false, 120, 404, "<html>gone</html>"});
  StartManager();
  Advance(100);
  EXPECT_EQ(LogLines, (Texts{
                          "Start checking joe_Shop (https://www.example.org/x) by Download",
                          "End checking joe_Shop (https://www.example.org/x)",
                          "Response Time: 120",
                          "Response Code: Not Found",
                          "Response Page: \r\n<html>gone</html>",
                      }));
  EXPECT_EQ(Statuses,
            (Texts{
                "Start checking", "Start checking Shop (https://www.example.org/x) by Download",
                "End checking Shop (https://www.example.org/x)",
                "Start checking",  // the wake-up after the result
                "Done",            // the checker has ended
            }));
}

TEST_F(Checker, CheckWithoutMeasuredTimeIsLoggedAsConnectionUnavailable) {
  TWatchItem& item = AddShop();
  Checks.Script(item.Url, {false, -1, kResponseRequestFailed, ""});
  Checks.Script(item.Url, {false, 0, kResponseNotResponded, ""});
  StartManager();
  Advance(100);
  Advance(60003);
  EXPECT_EQ(CountLines("Response Code: Connection is unavailable"), 2u);
  EXPECT_EQ(CountLines("Response Time: "), 0u);
  EXPECT_EQ(CountLines("Response Page: "), 0u);
}

TEST_F(Checker, PageIsLoggedOnlyForAFailedDownloadOfAnItemThatAsksForIt) {
  TWatchItem& ping = AddSite("ping");
  ping.CheckType = TCheckType::Ping;
  ping.LogFailedPages = true;
  Checks.Script("ping.test/", {false, 50, kResponseTimeout, "reply"});
  TWatchItem& quiet = AddSite("quiet");
  Checks.Script(quiet.Url, {false, 50, 404, "page"});
  TWatchItem& fine = AddSite("fine");
  fine.LogFailedPages = true;
  Checks.Script(fine.Url, {true, 50, kResponseOk, "page"});
  StartManager();
  Advance(100);
  EXPECT_EQ(CountLines("Response Code: Request Timeout"), 1u);
  EXPECT_EQ(CountLines("Response Page: "), 0u);
}

TEST_F(Checker, SuspendedBetweenSchedulingAndPrepareStopsAndKeepsItsSchedule) {
  TWatchItem& item = AddShop();
  const TDateTime recorded = At(-90000);
  List.ApplyResult(test::Result(item, false, -1, 0, recorded));
  Checks.OnCreate = [&] { List.SetItemActive(RowOf(item), false); };
  StartManager();
  Advance(100);
  EXPECT_EQ(LogLines, (Texts{
                          "Start checking joe_Shop (https://www.example.org/x) by Download",
                          "Stop checking joe_Shop (https://www.example.org/x)",
                      }));
  EXPECT_TRUE(Checks.Requests().empty());
  EXPECT_TRUE(Sink.Records.empty());
  EXPECT_EQ(item.LastChecked(), recorded);
  EXPECT_EQ(item.NextRun(), IncSeconds(recorded, 60));
  EXPECT_EQ(item.Status(), TWatchStatus::Suspended);
}

TEST_F(Checker, RequestCarriesTheItemsCopiesProxyAndConnectionTestSettings) {
  TWatchItem& item = AddSite("a");
  item.Url = "http://www.example.org:8080/a";
  item.DownloadTimeout = 7000;
  item.SearchText = "Welcome";
  item.CaseSensitive = true;
  item.CheckConnection = true;
  Options.PingStatus = true;
  Options.Servers = "  one.test; two.test \t";
  Options.Method = TInternetOptions::ByDownload;
  std::vector<std::string> asked;
  TCheckerContext context = Context();
  context.ChooseProxy = [&](const std::string& url) {
    asked.push_back(url);
    return TProxyChoice{"proxy.test", "3128", "user", "secret"};
  };
  Manager = std::make_unique<TCheckerManager>(context);
  Advance(100);

  EXPECT_EQ(asked, Texts{"http://www.example.org:8080/a"});
  const std::vector<TCheckRequest> requests = Checks.Requests();
  ASSERT_EQ(requests.size(), 1u);
  TCheckRequest expected;
  expected.Active = true;
  expected.CheckType = TCheckType::Download;
  expected.Proxy = {"proxy.test", "3128", "user", "secret"};
  expected.Host = "http://www.example.org:8080/a";
  expected.Timeout = 7000;
  expected.SearchText = "Welcome";
  expected.CaseSensitive = true;
  expected.CheckConnection = true;
  expected.TestEnabled = true;
  expected.TestServers = "one.test; two.test";
  expected.TestByDownload = true;
  EXPECT_EQ(requests[0], expected);
}

TEST_F(Checker, ResultOfAnItemDeletedWhileItsCheckRanIsDropped) {
  TWatchItem& doomed = AddSite("doomed");
  TWatchItem& other = AddSite("other");
  Checks.Hold(doomed.Url);
  StartManager();
  Advance(100);
  const std::int32_t otherId = other.Id();
  const std::string url = doomed.Url;
  List.DeleteRow(RowOf(doomed));
  const std::size_t linesBefore = LogLines.size();
  Checks.Release(url);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(LogLines.size(), linesBefore);
  ASSERT_EQ(Sink.Records.size(), 1u);
  EXPECT_EQ(Sink.Records[0].ItemId, static_cast<std::uint32_t>(otherId));
  EXPECT_EQ(Manager->CheckerCount(), 0u);
  EXPECT_EQ(Statuses.back(), "Done");
}

TEST_F(Checker, ItemDeletedBeforePrepareIsNeitherLoggedNorChecked) {
  TWatchItem& item = AddSite("a");
  Checks.OnCreate = [&] { List.DeleteRow(RowOf(item)); };
  StartManager();
  Advance(100);
  EXPECT_TRUE(LogLines.empty());
  EXPECT_TRUE(Checks.Requests().empty());
  EXPECT_EQ(Manager->CheckerCount(), 0u);
}

// Writing a log entry lets the window handle its pending events, and the user
// may delete the item in one of them.
TEST_F(Checker, ItemDeletedWhileTheStartLineIsWrittenIsNotChecked) {
  AddSite("a");
  OnLog = [&](const std::string& text) {
    if (text.rfind("Start checking", 0) == 0)
      List.DeleteRow(0);
  };
  StartManager();
  Advance(100);
  EXPECT_EQ(LogLines.size(), 1u);
  EXPECT_TRUE(Checks.Requests().empty());
  EXPECT_EQ(Manager->CheckerCount(), 0u);
}

TEST_F(Checker, ItemDeletedWhileTheEndLinesAreWrittenGetsNoResult) {
  AddSite("a");
  OnLog = [&](const std::string& text) {
    if (text.rfind("Response Code", 0) == 0)
      List.DeleteRow(0);
  };
  StartManager();
  Advance(100);
  EXPECT_EQ(CountLines("End checking a "), 1u);
  EXPECT_TRUE(Sink.Records.empty());
  EXPECT_EQ(List.Count(), 0);
}

TEST_F(Checker, ErrorWhileRecordingReachesTheHandlerAndTheCheckerStillEnds) {
  TWatchItem& item = AddSite("a");
  Sink.OnResult = [](const THistoryRecord&) { throw std::runtime_error("disk full"); };
  StartManager();
  Advance(100);
  EXPECT_EQ(Errors, Texts{"disk full"});
  EXPECT_EQ(Manager->CheckerCount(), 0u);
  // Checked again at the next run the tick gave it.
  EXPECT_EQ(item.NextRun(), IncSeconds(At(100), 60));
}

TEST_F(Checker, ShutdownWhileChecksAreBlockedCancelsAndJoinsThemAndNothingRunsAfter) {
  for (const char* name : {"a", "b", "c"})
    Checks.Hold(AddSite(name).Url);
  StartManager();
  Advance(100);
  ASSERT_EQ(Checks.Waiting(), 3u);
  const Texts lines = LogLines;
  const Texts statuses = Statuses;

  Loop.Shutdown();
  Manager.reset();
  EXPECT_EQ(Checks.CancelledRuns(), 3u);
  EXPECT_EQ(Checks.RunsEnded(), 3u);
  Loop.RunPending();
  Loop.AdvanceBy(3600000);
  EXPECT_EQ(LogLines, lines);
  EXPECT_EQ(Statuses, statuses);
  EXPECT_TRUE(Sink.Records.empty());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(Checker, ShutdownWhileAStepWaitsForTheMainThreadReleasesIt) {
  TWatchItem& item = AddSite("a");
  Checks.Hold(item.Url);
  StartManager();
  Advance(100);
  Checks.Release(item.Url);
  // The checker now waits for Finish, which nothing will run.
  ASSERT_TRUE(Loop.WaitForSynchronizeCall(std::chrono::seconds(20)));
  Loop.Shutdown();
  Manager.reset();
  EXPECT_EQ(CountLines("End checking "), 0u);
  EXPECT_TRUE(Sink.Records.empty());
  EXPECT_EQ(Checks.CancelledRuns(), 0u);
}

TEST_F(Checker, DestroyedWithoutShuttingTheLoopDownTheSchedulerStillJoinsItsCheckers) {
  Checks.Hold(AddSite("a").Url);
  StartManager();
  Advance(100);
  Manager.reset();
  EXPECT_TRUE(Loop.ShuttingDown());
  EXPECT_EQ(Checks.CancelledRuns(), 1u);
  EXPECT_TRUE(Sink.Records.empty());
}

// The loop of the test with its posted tasks held back until the test lets
// them run, so that work a checker posts at its end can be made to outlive
// the scheduler.
class TPostHoldingLoop final : public TMainLoop {
 public:
  explicit TPostHoldingLoop(TManualMainLoop& inner) : Inner_(inner) {}

  void Post(TTask task) override {
    std::lock_guard lock(Mutex_);
    Held_.push_back(std::move(task));
    Changed_.notify_all();
  }
  bool Synchronize(TTask task) override { return Inner_.Synchronize(std::move(task)); }
  std::unique_ptr<TTimer> CreateTimer(TTask onExpiry) override {
    return Inner_.CreateTimer(std::move(onExpiry));
  }
  void DispatchPending() override { Inner_.DispatchPending(); }
  void Shutdown() override { Inner_.Shutdown(); }
  bool ShuttingDown() const override { return Inner_.ShuttingDown(); }
  bool IsMainThread() const override { return Inner_.IsMainThread(); }

  bool WaitForHeld(std::size_t count) {
    std::unique_lock lock(Mutex_);
    return Changed_.wait_for(lock, std::chrono::seconds(20), [&] { return Held_.size() >= count; });
  }
  void RunHeld() {
    std::vector<TTask> tasks;
    {
      std::lock_guard lock(Mutex_);
      tasks.swap(Held_);
    }
    for (const TTask& task : tasks)
      task();
  }

 private:
  TManualMainLoop& Inner_;
  std::mutex Mutex_;
  std::condition_variable Changed_;
  std::vector<TTask> Held_;
};

TEST_F(Checker, RemovalOfACheckerThatComesAfterTheSchedulerIsGoneDoesNothing) {
  AddSite("a");
  TPostHoldingLoop loop(Loop);
  TCheckerContext context = Context();
  context.Loop = &loop;
  Manager = std::make_unique<TCheckerManager>(context);
  Loop.AdvanceBy(100);
  // Prepare and Finish (the first may have run already).
  for (int step = 0; step < 2 && Sink.Records.empty(); ++step) {
    ASSERT_TRUE(Loop.WaitForSynchronizeCall(std::chrono::seconds(20)));
    Loop.RunPending();
  }
  ASSERT_EQ(Sink.Records.size(), 1u);
  // The wake-up after the result and the checker's removal.
  ASSERT_TRUE(loop.WaitForHeld(2));
  EXPECT_EQ(Manager->CheckerCount(), 1u);
  Manager.reset();
  // Every checker had ended: there was no need to shut the loop down.
  EXPECT_FALSE(Loop.ShuttingDown());
  loop.RunHeld();
  EXPECT_TRUE(Errors.empty());
}

}  // namespace
}  // namespace vantrel
