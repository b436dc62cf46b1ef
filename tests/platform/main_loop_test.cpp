#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/manual_main_loop.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;

// Waits for other threads, never for time: generous, and only reached on failure.
constexpr auto kThreadLimit = 10s;

class ManualMainLoopTest : public ::testing::Test {
 protected:
  // The tick sits just below the wrap, so every test also crosses it.
  TManualClock clock_{TManualClock::kDefaultNow, 0xFFFFFF00u};
  TManualMainLoop loop_{clock_};
  std::vector<std::string> fired_;
  // A timer that records its name, the tick and the elapsed time when it fires.
  std::unique_ptr<TTimer> Timer(const std::string& name) {
    return loop_.CreateTimer([this, name] {
      fired_.push_back(name + "@" + std::to_string(clock_.Tick() - 0xFFFFFF00u) + "/" +
                       std::to_string(clock_.Elapsed()));
    });
  }
};

TEST_F(ManualMainLoopTest,
       TimersFireInDueOrderThenArmingOrderWithTheClockAtTheirDueMomentUnlessStopped) {
  auto late = Timer("late"), early = Timer("early"), tie1 = Timer("tie1"), tie2 = Timer("tie2");
  auto stopped = Timer("stopped");
  stopped->Start(50);
  stopped->Stop();
  EXPECT_FALSE(stopped->Active());
  late->Start(300);
  tie1->Start(400);
  early->Start(100);
  tie2->Start(500);
  loop_.AdvanceBy(100);
  tie1->Start(400);  // re-armed: replaces its expiry, and now comes after tie2
  EXPECT_EQ(loop_.DueIn(*tie1), 400u);
  loop_.AdvanceBy(1000);
  EXPECT_EQ(fired_, (std::vector<std::string>{"early@100/100", "late@300/300", "tie2@500/500",
                                              "tie1@500/500"}));
  EXPECT_EQ(clock_.Now(), TManualClock::kDefaultNow + 1100 / kMSecsPerDay);
  EXPECT_FALSE(early->Active());
}

TEST_F(ManualMainLoopTest, ExpiryMayReArmOrDestroyItsTimerAndItsPostsRunBeforeTheNextExpiry) {
  std::unique_ptr<TTimer> again, once, other = Timer("other");
  int count = 0;
  again = loop_.CreateTimer([&] {
    EXPECT_FALSE(again->Active());
    fired_.push_back("again");
    loop_.Post([&] { fired_.push_back("posted"); });
    if (++count < 3)
      again->Start(100);
  });
  once = loop_.CreateTimer([&] {
    fired_.push_back("once");
    once.reset();
  });
  again->Start(100);
  other->Start(100);
  once->Start(10);
  loop_.AdvanceBy(1000);
  EXPECT_EQ(fired_, (std::vector<std::string>{"once", "again", "posted", "other@100/100", "again",
                                              "posted", "again", "posted"}));
}

TEST_F(ManualMainLoopTest, RunPendingFiresDueTimersWithoutMovingTimeAndIgnoresClockJumps) {
  auto now = Timer("now"), later = Timer("later");
  now->Start(0);
  later->Start(100);
  clock_.SetNow(TManualClock::kDefaultNow + 30);
  clock_.SetTick(0);
  EXPECT_EQ(loop_.RunPending(), 1u);
  EXPECT_EQ(clock_.Elapsed(), 0u);
  EXPECT_EQ(loop_.NextDueIn(), 100u);
  later->Stop();
  EXPECT_EQ(loop_.NextDueIn(), std::nullopt);
}

TEST_F(ManualMainLoopTest, PostsFromWorkersRunOnTheMainThreadInEachWorkersOrder) {
  constexpr int kWorkers = 4;
  constexpr int kPosts = 200;
  std::vector<std::vector<int>> seen(kWorkers);
  bool allOnMain = true;
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < kPosts; ++i) {
        loop_.Post([&, w, i] {
          allOnMain = allOnMain && loop_.IsMainThread();
          seen[w].push_back(i);
        });
      }
    });
  }
  // Run while they post, so the queue is drained and refilled concurrently.
  while (loop_.WaitForPending(kThreadLimit) && loop_.RunPending() > 0) {
    std::size_t total = 0;
    for (const auto& s : seen)
      total += s.size();
    if (total == kWorkers * kPosts)
      break;
  }
  for (auto& t : workers)
    t.join();
  EXPECT_TRUE(allOnMain);
  std::vector<int> expected(kPosts);
  for (int i = 0; i < kPosts; ++i)
    expected[i] = i;
  for (int w = 0; w < kWorkers; ++w)
    EXPECT_EQ(seen[w], expected) << "worker " << w;
}

TEST_F(ManualMainLoopTest, SynchronizeBlocksTheWorkerUntilTheMainThreadRanItInItsPlace) {
  std::vector<int> order;
  std::atomic<bool> returned{false};
  bool result = false;
  std::thread worker([&] {
    loop_.Post([&] { order.push_back(1); });
    result = loop_.Synchronize([&] { order.push_back(loop_.IsMainThread() ? 2 : -2); });
    returned = true;
  });
  ASSERT_TRUE(loop_.WaitForSynchronizeCall(kThreadLimit));
  EXPECT_FALSE(returned);  // nothing ran it yet
  loop_.Post([&] { order.push_back(3); });
  loop_.RunPending();
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_TRUE(loop_.Synchronize([&] { order.push_back(4); }));  // the main thread: at once
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));

  bool caught = false;  // a task's exception reaches the worker, not the main thread
  std::thread thrower([&] {
    try {
      loop_.Synchronize([] { throw std::runtime_error("step failed"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
  });
  ASSERT_TRUE(loop_.WaitForSynchronizeCall(kThreadLimit));
  EXPECT_NO_THROW(loop_.RunPending());
  thrower.join();
  EXPECT_TRUE(caught);
}

TEST_F(ManualMainLoopTest, ShutdownReleasesWaitingWorkersAndDropsEveryTask) {
  bool ran = false;
  bool waiting = true;
  loop_.Post([&] { ran = true; });
  std::thread worker([&] { waiting = loop_.Synchronize([&] { ran = true; }); });
  ASSERT_TRUE(loop_.WaitForSynchronizeCall(kThreadLimit));
  loop_.Shutdown();
  worker.join();
  EXPECT_FALSE(waiting);
  loop_.Post([&] { ran = true; });
  bool late = true;
  std::thread([&] { late = loop_.Synchronize([&] { ran = true; }); }).join();
  EXPECT_FALSE(late);
  EXPECT_FALSE(loop_.Synchronize([&] { ran = true; }));  // main thread too
  EXPECT_EQ(loop_.RunPending(), 0u);
  EXPECT_FALSE(ran);
}

TEST_F(ManualMainLoopTest, DestroyingTheLoopReleasesAWaitingWorkerAndDisarmsItsTimers) {
  auto loop = std::make_unique<TManualMainLoop>(clock_);
  bool result = true;
  std::thread worker([&] { result = loop->Synchronize([] {}); });
  ASSERT_TRUE(loop->WaitForSynchronizeCall(kThreadLimit));
  auto timer = loop->CreateTimer([] {});
  loop.reset();
  worker.join();
  EXPECT_FALSE(result);
  timer->Start(10);  // inert, not a use after free
  EXPECT_FALSE(timer->Active());
}

TEST(ManualClock, ManySmallStepsDoNotDriftNow) {
  TManualClock clock;
  for (int i = 0; i < 86400; ++i)
    clock.Advance(1000);
  EXPECT_EQ(clock.Now(), TManualClock::kDefaultNow + 1.0);
}

}  // namespace
}  // namespace vantrel
