#include "app/qt_main_loop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
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

TEST(QtMainLoop, TimersFireInDueOrder) {
  TQtMainLoop loop;
  std::vector<int> fired;
  auto late = loop.CreateTimer([&] { fired.push_back(30); });
  auto early = loop.CreateTimer([&] { fired.push_back(1); });
  late->Start(30);
  early->Start(1);
  EXPECT_TRUE(late->Active());
  ASSERT_TRUE(RunUntil([&] { return fired.size() == 2; }));
  EXPECT_EQ(fired, (std::vector<int>{1, 30}));
  EXPECT_FALSE(late->Active());
}

TEST(QtMainLoop, ReArmingReplacesThePendingExpiryAndStopCancels) {
  TQtMainLoop loop;
  int reArmed = 0;
  int stopped = 0;
  bool marker = false;
  auto reArmedTimer = loop.CreateTimer([&] { ++reArmed; });
  auto stoppedTimer = loop.CreateTimer([&] { ++stopped; });
  auto markerTimer = loop.CreateTimer([&] { marker = true; });
  reArmedTimer->Start(1);
  reArmedTimer->Start(20);
  stoppedTimer->Start(1);
  stoppedTimer->Stop();
  EXPECT_FALSE(stoppedTimer->Active());
  markerTimer->Start(50);
  ASSERT_TRUE(RunUntil([&] { return marker; }));
  EXPECT_EQ(reArmed, 1);
  EXPECT_EQ(stopped, 0);
}

TEST(QtMainLoop, TimerReArmedFromItsOwnExpiryFiresAgain) {
  TQtMainLoop loop;
  int fired = 0;
  std::unique_ptr<TTimer> timer;
  timer = loop.CreateTimer([&] {
    EXPECT_FALSE(timer->Active());
    if (++fired < 3)
      timer->Start(1);
  });
  timer->Start(1);
  ASSERT_TRUE(RunUntil([&] { return fired == 3; }));
  EXPECT_FALSE(timer->Active());
}

TEST(QtMainLoop, TimerDestroyedInItsOwnExpiryIsSafe) {
  TQtMainLoop loop;
  bool fired = false;
  std::unique_ptr<TTimer> timer;
  timer = loop.CreateTimer([&] {
    fired = true;
    timer.reset();
  });
  timer->Start(1);
  ASSERT_TRUE(RunUntil([&] { return fired; }));
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

TEST(QtMainLoop, DispatchPendingRunsPostedTasks) {
  TQtMainLoop loop;
  bool ran = false;
  loop.Post([&] { ran = true; });
  loop.DispatchPending();
  EXPECT_TRUE(ran);
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
  std::mutex mutex;
  std::condition_variable calling;
  bool aboutToCall = false;
  std::thread worker([&] {
    {
      std::lock_guard lock(mutex);
      aboutToCall = true;
    }
    calling.notify_all();
    result = loop.Synchronize([&] { ran = true; });
  });
  {
    // The main thread does not dispatch, so the task cannot run before Shutdown,
    // whether the worker is already waiting or not.
    std::unique_lock lock(mutex);
    ASSERT_TRUE(calling.wait_for(lock, 10s, [&] { return aboutToCall; }));
  }
  loop.Shutdown();
  worker.join();
  EXPECT_FALSE(result);
  loop.DispatchPending();  // its queued runner comes too late
  EXPECT_FALSE(ran);

  bool posted = false;
  loop.Post([&] { posted = true; });
  loop.DispatchPending();
  EXPECT_FALSE(posted);
}

TEST(QtMainLoop, TaskQueuedBeforeShutdownIsDropped) {
  TQtMainLoop loop;
  bool ran = false;
  loop.Post([&] { ran = true; });
  loop.Shutdown();
  loop.DispatchPending();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(loop.ShuttingDown());
}

}  // namespace
}  // namespace vantrel
