#pragma once

// What every main loop promises (platform/main_loop.h), as a typed test suite.
// A test program instantiates it with a driver for its loop:
//
//   struct TDriver {
//     TMainLoop& Loop();
//     // Runs the loop (tasks, timers, time) until `done` holds; false when
//     // that did not happen within seconds.
//     bool RunUntil(const std::function<bool()>& done);
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(Name, MainLoopContract, TDriver);

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/main_loop.h"

namespace vantrel {

template <class TDriver>
class MainLoopContract : public ::testing::Test {
 protected:
  TMainLoop& Loop() { return Driver_.Loop(); }
  bool RunUntil(const std::function<bool()>& done) { return Driver_.RunUntil(done); }

  // Runs the loop until `done` holds, then shuts it down so that no worker
  // is left waiting, and joins them; false when `done` never held.
  bool RunAndJoin(std::vector<std::thread>& workers, const std::function<bool()>& done) {
    const bool reached = RunUntil(done);
    Loop().Shutdown();
    for (std::thread& worker : workers)
      worker.join();
    return reached;
  }

 private:
  TDriver Driver_;
};

TYPED_TEST_SUITE_P(MainLoopContract);

TYPED_TEST_P(MainLoopContract, TimersFireInDueOrderReArmingReplacesTheExpiryAndStopCancels) {
  std::vector<int> fired;
  auto late = this->Loop().CreateTimer([&] { fired.push_back(30); });
  auto early = this->Loop().CreateTimer([&] { fired.push_back(1); });
  auto reArmed = this->Loop().CreateTimer([&] { fired.push_back(20); });
  auto stopped = this->Loop().CreateTimer([&] { fired.push_back(-1); });
  late->Start(30);
  early->Start(1);
  reArmed->Start(1);
  reArmed->Start(20);
  stopped->Start(1);
  stopped->Stop();
  EXPECT_TRUE(late->Active());
  EXPECT_FALSE(stopped->Active());
  ASSERT_TRUE(this->RunUntil([&] { return fired.size() == 3; }));
  EXPECT_EQ(fired, (std::vector<int>{1, 20, 30}));
  EXPECT_FALSE(late->Active());
}

TYPED_TEST_P(MainLoopContract, ExpirySeesItsTimerInactiveAndMayReArmOrDestroyIt) {
  int fired = 0;
  std::unique_ptr<TTimer> timer;
  timer = this->Loop().CreateTimer([&] {
    EXPECT_FALSE(timer->Active());
    if (++fired < 3)
      timer->Start(1);
    else
      timer.reset();
  });
  timer->Start(1);
  ASSERT_TRUE(this->RunUntil([&] { return fired == 3; }));
  EXPECT_EQ(timer, nullptr);
  this->Loop().DispatchPending();  // whatever the loop does after an expiry
}

TYPED_TEST_P(MainLoopContract, WorkersPostsAndSynchronizeCallsRunOnTheMainThreadInTheirOrder) {
  constexpr int kWorkers = 4;
  constexpr int kSteps = 200;
  std::vector<std::vector<int>> seen(kWorkers);
  int total = 0;
  bool allOnMain = true;
  std::atomic<bool> synchronized{true};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < kSteps; ++i) {
        const auto step = [&, w, i] {
          allOnMain = allOnMain && this->Loop().IsMainThread();
          seen[w].push_back(i);
          ++total;
        };
        if (i % 4 != 3) {
          this->Loop().Post(step);
          continue;
        }
        // The worker goes on only once its step has run.
        bool ran = false;
        const bool result = this->Loop().Synchronize([&] {
          step();
          ran = true;
        });
        synchronized = synchronized && result && ran;
      }
    });
  }
  ASSERT_TRUE(this->RunAndJoin(workers, [&] { return total == kWorkers * kSteps; }));
  EXPECT_TRUE(allOnMain);
  EXPECT_TRUE(synchronized);
  std::vector<int> expected(kSteps);
  for (int i = 0; i < kSteps; ++i)
    expected[i] = i;
  for (int w = 0; w < kWorkers; ++w)
    EXPECT_EQ(seen[w], expected) << "worker " << w;
}

TYPED_TEST_P(MainLoopContract, SynchronizeRethrowsOnTheWorkerAndRunsAtOnceOnTheMainThread) {
  bool ranAtOnce = false;
  EXPECT_TRUE(this->Loop().Synchronize([&] { ranAtOnce = true; }));
  EXPECT_TRUE(ranAtOnce);
  std::atomic<bool> caught{false};
  std::atomic<bool> finished{false};
  std::vector<std::thread> workers;
  workers.emplace_back([&] {
    try {
      this->Loop().Synchronize([] { throw std::runtime_error("step failed"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
    this->Loop().Post([&] { finished = true; });
  });
  ASSERT_TRUE(this->RunAndJoin(workers, [&] { return finished.load(); }));
  EXPECT_TRUE(caught);
}

TYPED_TEST_P(MainLoopContract, ShutdownReleasesAWaitingWorkerAndDropsEveryTaskFromThenOn) {
  int ran = 0;
  this->Loop().Post([&] { ++ran; });
  this->Loop().DispatchPending();
  EXPECT_EQ(ran, 1);

  this->Loop().Post([&] { ++ran; });
  std::promise<void> calling;
  bool released = true;
  std::thread worker([&] {
    calling.set_value();
    released = this->Loop().Synchronize([&] { ++ran; });
  });
  // Nothing dispatches: the worker's task cannot run before the shutdown,
  // whether it already waits or not.
  ASSERT_EQ(calling.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  this->Loop().Shutdown();
  worker.join();
  EXPECT_FALSE(released);
  EXPECT_TRUE(this->Loop().ShuttingDown());
  this->Loop().Post([&] { ++ran; });
  bool late = true;
  std::thread([&] { late = this->Loop().Synchronize([&] { ++ran; }); }).join();
  EXPECT_FALSE(late);
  EXPECT_FALSE(this->Loop().Synchronize([&] { ++ran; }));  // the main thread too
  this->Loop().DispatchPending();
  EXPECT_EQ(ran, 1);
}

REGISTER_TYPED_TEST_SUITE_P(MainLoopContract,
                            TimersFireInDueOrderReArmingReplacesTheExpiryAndStopCancels,
                            ExpirySeesItsTimerInactiveAndMayReArmOrDestroyIt,
                            WorkersPostsAndSynchronizeCallsRunOnTheMainThreadInTheirOrder,
                            SynchronizeRethrowsOnTheWorkerAndRunsAtOnceOnTheMainThread,
                            ShutdownReleasesAWaitingWorkerAndDropsEveryTaskFromThenOn);

}  // namespace vantrel
