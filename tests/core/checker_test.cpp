// One checker's life: its log lines and status texts, the copies it checks
// with, items that change or vanish under it, errors and shut-down.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "checking_fixture.h"
#include "core/check_request.h"
#include "core/response_codes.h"

namespace vantrel {
namespace {

using Texts = std::vector<std::string>;

class Checker : public test::TCheckingFixture {
 protected:
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
  EXPECT_EQ(Statuses, (Texts{
                          "Start checking",
                          "Start checking Shop (https://www.example.org/x) by Download",
                          "End checking Shop (https://www.example.org/x)",
                          "Start checking",  // the wake-up after the result
                          "Done",
                      }));
}

// A name or URL that a stored file or the web service brought must not forge
// a log line nor reach the terminal as an escape sequence.
TEST_F(Checker, NameAndUrlCannotForgeALogLineOrAStatusText) {
  TWatchItem& item = AddShop();
  item.Name = "Shop\r\n[01/01/26 00:00:00]: End checking x\x1b[2J";
  item.Url = "https://www.example.org/\x1b]0;t\x07";
  Checks.Script(item.Url, {true, 120, 200, ""});
  StartManager();
  Advance(100);
  ASSERT_GE(LogLines.size(), 2u);
  const std::string escaped =
      "Shop\\r\\n[01/01/26 00:00:00]: End checking x\\x1b[2J "
      "(https://www.example.org/\\x1b]0;t\\x07)";
  EXPECT_EQ(LogLines[0], "Start checking joe_" + escaped + " by Download");
  EXPECT_EQ(LogLines[1], "End checking joe_" + escaped);
  EXPECT_EQ(Statuses[1], "Start checking " + escaped + " by Download");
}

TEST_F(Checker, TimeAndCodeOnlyForMeasuredRepliesThePageOnlyForFailedDownloadsThatAskForIt) {
  const struct {
    const char* Name;
    TCheckType Type;
    bool LogPages;
    TCheckResult Result;
  } items[] = {
      {"lost", TCheckType::Download, true, {false, -1, kResponseRequestFailed, "x"}},
      {"silent", TCheckType::Download, true, {false, 0, kResponseNotResponded, "x"}},
      {"ping", TCheckType::Ping, true, {false, 50, kResponseTimeout, "x"}},
      {"quiet", TCheckType::Download, false, {false, 50, 404, "x"}},
      {"fine", TCheckType::Download, true, {true, 50, kResponseOk, "x"}},
  };
  for (const auto& c : items) {
    TWatchItem& item = AddSite(c.Name);
    item.CheckType = c.Type;
    item.LogFailedPages = c.LogPages;
    Checks.Script(CheckHost(c.Type, item.Url), c.Result);
  }
  StartManager();
  Advance(100);
  EXPECT_EQ(CountLines("Response Code: Connection is unavailable"), 2u);
  EXPECT_EQ(CountLines("Response Time: "), 3u);
  EXPECT_EQ(CountLines("Response Code: Request Timeout"), 1u);
  EXPECT_EQ(CountLines("Response Page: "), 0u);
}

TEST_F(Checker, FailedPageIsLoggedWithItsControlsShownAndCutAtItsLimit) {
  TWatchItem& item = AddShop();
  const std::size_t limit = TChecker::kLoggedPageLimit;
  const std::string pages[] = {
      "<p>\x1b[2J\tgone\r\n</p>\x07",
      std::string(limit, 'x'),
      std::string(limit, 'y') + std::string(1234567, 'z'),
  };
  for (const std::string& page : pages)
    Checks.Script(item.Url, {false, 120, 404, page});
  StartManager();
  Advance(100);
  Advance(60000 + 3);
  Advance(60000 + 3);
  Texts logged;
  for (const std::string& line : LogLines) {
    if (line.starts_with("Response Page: "))
      logged.push_back(line);
  }
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[0], "Response Page: \r\n<p>\\x1b[2J\tgone\r\n</p>\\x07");
  const std::string note = "\r\n[... 1234567 more bytes not logged]";
  EXPECT_EQ(logged[2].substr(logged[2].size() - note.size()), note);
  // Compared whole, but not printed whole.
  EXPECT_TRUE(logged[1] == "Response Page: \r\n" + pages[1]);
  EXPECT_TRUE(logged[2] == "Response Page: \r\n" + std::string(limit, 'y') + note);
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
}

TEST_F(Checker, RequestCarriesTheItemsCopiesTheProxyForItsUrlAndTheConnectionTest) {
  TWatchItem& item = AddSite("a");
  item.Url = "http://www.example.org:8080/a";
  item.DownloadTimeout = 7000;
  item.CheckConnection = true;
  TInternetOptions options;
  options.PingStatus = true;
  options.Servers = "  one.test; two.test \t";
  options.Method = TInternetOptions::ByDownload;
  Settings.SetInternetOptions(options);
  TCheckerContext context = Context();
  context.ChooseProxy = [&](const std::string& url) {
    return TProxyChoice{"proxy.test", url.substr(7, 15), "user", "secret"};
  };
  Manager = std::make_unique<TCheckerManager>(context);
  Advance(100);
  ASSERT_EQ(Checks.Requests().size(), 1u);
  const TCheckRequest request = Checks.Requests()[0];
  EXPECT_EQ(request.Host, "http://www.example.org:8080/a");
  EXPECT_EQ(request.Timeout, 7000);
  EXPECT_EQ(request.Proxy, (TProxyChoice{"proxy.test", "www.example.org", "user", "secret"}));
  EXPECT_TRUE(request.Active && request.CheckConnection && request.TestEnabled &&
              request.TestByDownload);
  EXPECT_EQ(request.TestServers, "one.test; two.test");
}

// The item is deleted at the moment whose log line begins with the text, or
// before the checker prepares, or while its check runs.
struct TDeleteCase {
  const char* Moment;
  std::size_t Lines;
  std::size_t Requests;
};

class CheckerItemDeleted : public Checker, public testing::WithParamInterface<TDeleteCase> {};

TEST_P(CheckerItemDeleted, IsNeitherTouchedNorRecordedAfterwards) {
  const TDeleteCase c = GetParam();
  const std::string moment = c.Moment;
  const std::string url = AddSite("a").Url;
  const auto remove = [this] { List.DeleteRow(0); };
  if (moment == "before prepare")
    Checks.OnCreate = remove;
  else if (moment == "during check")
    Checks.Hold(url);
  else
    OnLog = [=](const std::string& text) {
      if (text.starts_with(moment))
        remove();
    };
  StartManager();
  Advance(100);
  if (moment == "during check") {
    remove();
    Checks.Release(url);
    ASSERT_TRUE(Settle());
  }
  EXPECT_EQ(LogLines.size(), c.Lines);
  EXPECT_EQ(Checks.Requests().size(), c.Requests);
  EXPECT_TRUE(Sink.Records.empty());
  EXPECT_EQ(Manager->CheckerCount(), 0u);
  EXPECT_EQ(Statuses.back(), "Done");
  EXPECT_TRUE(Errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Moments, CheckerItemDeleted,
                         testing::Values(TDeleteCase{"before prepare", 0, 0},
                                         TDeleteCase{"Start checking", 1, 0},
                                         TDeleteCase{"during check", 1, 1},
                                         TDeleteCase{"Response Code", 4, 1}));

TEST_F(Checker, ErrorWhileRecordingReachesTheHandlerAndTheCheckerStillEnds) {
  TWatchItem& item = AddSite("a");
  Sink.OnResult = [](const THistoryRecord&) { throw std::runtime_error("disk full"); };
  StartManager();
  Advance(100);
  EXPECT_EQ(Errors, Texts{"disk full"});
  EXPECT_EQ(Manager->CheckerCount(), 0u);
  EXPECT_EQ(item.NextRun(), IncSeconds(At(100), 60));
}

// The scheduler shuts the loop down itself (the next test does it first).
TEST_F(Checker, DestroyedWhileChecksAreBlockedCancelsAndJoinsThemAndNothingRunsAfter) {
  for (const char* name : {"a", "b", "c"})
    Checks.Hold(AddSite(name).Url);
  StartManager();
  Advance(100);
  ASSERT_EQ(Checks.Waiting(), 3u);
  const Texts lines = LogLines;
  const Texts statuses = Statuses;

  Manager.reset();
  EXPECT_TRUE(Loop.ShuttingDown());
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

// Holds posted tasks back until RunHeld, so that what a checker posts at its
// end can be made to outlive the scheduler.
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
  ASSERT_TRUE(loop.WaitForHeld(2));  // the wake-up and the checker's removal
  Manager.reset();
  EXPECT_FALSE(Loop.ShuttingDown());  // every checker had ended
  loop.RunHeld();
  EXPECT_TRUE(Errors.empty());
}

}  // namespace
}  // namespace vantrel
