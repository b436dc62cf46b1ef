#include "app/qt_main_loop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using namespace std::chrono_literals;

// One application object for the whole test program, as in the real programs.
class TQtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { App_ = std::make_unique<QCoreApplication>(Argc_, Argv_); }
  void TearDown() override { App_.reset(); }

 private:
  int Argc_ = 1;
  char Name_[10] = "app_tests";
  char* Argv_[2] = {Name_, nullptr};
  std::unique_ptr<QCoreApplication> App_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

// Runs the event loop until `done` holds, at most `limit`: a bound on a wait
// for events and other threads, not a measurement.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
  const QDeadlineTimer deadline(limit);
  QTimer guard;  // wakes the wait below at the deadline
  guard.setSingleShot(true);
  guard.start(limit);
  while (!done()) {
    if (deadline.hasExpired())
      return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

TEST(QtMainLoop, TimersFireInDueOrderReArmingReplacesTheExpiryAndStopCancels) {
  TQtMainLoop loop;
  std::vector<int> fired;
  auto late = loop.CreateTimer([&] { fired.push_back(30); });
  auto early = loop.CreateTimer([&] { fired.push_back(1); });
  auto reArmed = loop.CreateTimer([&] { fired.push_back(20); });
  auto stopped = loop.CreateTimer([&] { fired.push_back(-1); });
  late->Start(30);
  early->Start(1);
  reArmed->Start(1);
  reArmed->Start(20);
  stopped->Start(1);
  stopped->Stop();
  EXPECT_TRUE(late->Active());
  EXPECT_FALSE(stopped->Active());
  ASSERT_TRUE(RunUntil([&] { return fired.size() == 3; }));
  EXPECT_EQ(fired, (std::vector<int>{1, 20, 30}));
  EXPECT_FALSE(late->Active());
}

TEST(QtMainLoop, TimerMayBeReArmedOrDestroyedInItsOwnExpiry) {
  TQtMainLoop loop;
  int fired = 0;
  std::unique_ptr<TTimer> timer;
  timer = loop.CreateTimer([&] {
    EXPECT_FALSE(timer->Active());
    if (++fired < 3)
      timer->Start(1);
    else
      timer.reset();
  });
  timer->Start(1);
  ASSERT_TRUE(RunUntil([&] { return fired == 3; }));
  EXPECT_EQ(timer, nullptr);
  loop.DispatchPending();  // whatever Qt does after the expiry has run
}

TEST(QtMainLoop, PostsFromWorkersRunOnTheMainThreadInEachWorkersOrder) {
  TQtMainLoop loop;
  constexpr int kWorkers = 4;
  constexpr int kPosts = 200;
  std::vector<std::vector<int>> seen(kWorkers);
  int total = 0;
  bool allOnMain = true;
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < kPosts; ++i) {
        loop.Post([&, w, i] {
          allOnMain = allOnMain && loop.IsMainThread();
          seen[w].push_back(i);
          ++total;
        });
      }
    });
  }
  const bool done = RunUntil([&] { return total == kWorkers * kPosts; });
  for (auto& t : workers)
    t.join();
  ASSERT_TRUE(done);
  EXPECT_TRUE(allOnMain);
  for (int w = 0; w < kWorkers; ++w) {
    for (int i = 0; i < kPosts; ++i)
      ASSERT_EQ(seen[w][i], i) << "worker " << w;
  }
}

TEST(QtMainLoop, TaskThatKeepsRePostingItselfDoesNotStarveTimers) {
  TQtMainLoop loop;
  constexpr int kGiveUp = 100000;  // only reached when the timer is starved
  int posts = 0;
  int postsWhenFired = -1;
  std::function<void()> again = [&] {
    if (postsWhenFired < 0 && ++posts < kGiveUp)
      loop.Post(again);
  };
  auto timer = loop.CreateTimer([&] { postsWhenFired = posts; });
  timer->Start(1);
  loop.Post(again);
  ASSERT_TRUE(RunUntil([&] { return postsWhenFired >= 0; }));
  EXPECT_LT(postsWhenFired, kGiveUp);
}

TEST(QtMainLoop, SynchronizeRunsOnTheMainThreadBeforeTheWorkerGoesOn) {
  TQtMainLoop loop;
  bool ranOnMain = false;
  bool seenByWorker = false;
  bool result = false;
  bool finished = false;
  std::thread worker([&] {
    result = loop.Synchronize([&] { ranOnMain = loop.IsMainThread(); });
    seenByWorker = ranOnMain;  // written before Synchronize returned
    loop.Post([&] { finished = true; });
  });
  const bool done = RunUntil([&] { return finished; });
  worker.join();
  ASSERT_TRUE(done);
  EXPECT_TRUE(result);
  EXPECT_TRUE(seenByWorker);
}

TEST(QtMainLoop, ShutdownReleasesAWaitingWorkerAndItsTaskNeverRuns) {
  TQtMainLoop loop;
  std::atomic<bool> ran{false};
  std::atomic<bool> result{true};
  std::promise<void> calling;
  std::thread worker([&] {
    calling.set_value();
    result = loop.Synchronize([&] { ran = true; });
  });
  // The main thread does not dispatch: the task cannot run before Shutdown,
  // whether the worker is already waiting or not.
  ASSERT_EQ(calling.get_future().wait_for(10s), std::future_status::ready);
  loop.Shutdown();
  worker.join();
  EXPECT_FALSE(result);
  loop.DispatchPending();  // its queued runner comes too late
  EXPECT_FALSE(ran);
}

TEST(QtMainLoop, DispatchPendingRunsPostedTasksUntilShutdownDropsThem) {
  TQtMainLoop loop;
  int ran = 0;
  loop.Post([&] { ++ran; });
  loop.DispatchPending();
  EXPECT_EQ(ran, 1);
  loop.Post([&] { ++ran; });
  loop.Shutdown();
  loop.Post([&] { ++ran; });
  loop.DispatchPending();
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(loop.ShuttingDown());
}

}  // namespace
}  // namespace vantrel
