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
};

TEST_F(ManualMainLoopTest, TimersFireInDueOrderWithTheClockAtTheirDueMoment) {
  struct TFired {
    char Name;
    std::uint32_t Tick;
    TDateTime Now;
  };
  std::vector<TFired> fired;
  const std::uint32_t startTick = clock_.Tick();
  auto record = [&](char name) { fired.push_back({name, clock_.Tick(), clock_.Now()}); };
  auto late = loop_.CreateTimer([&] { record('c'); });
  auto early = loop_.CreateTimer([&] { record('a'); });
  auto middle = loop_.CreateTimer([&] { record('b'); });
  late->Start(300);
  early->Start(100);
  middle->Start(200);

  loop_.AdvanceBy(1000);

  ASSERT_EQ(fired.size(), 3u);
  const std::uint32_t dues[] = {100, 200, 300};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(fired[i].Name, 'a' + static_cast<char>(i));
    EXPECT_EQ(fired[i].Tick, startTick + dues[i]);  // across the wrap
    EXPECT_EQ(fired[i].Now, TManualClock::kDefaultNow + dues[i] / kMSecsPerDay);
  }
  EXPECT_EQ(clock_.Tick(), startTick + 1000);
  EXPECT_FALSE(early->Active());
}

TEST_F(ManualMainLoopTest, TimersDueTogetherFireInArmingOrder) {
  std::vector<int> fired;
  auto first = loop_.CreateTimer([&] { fired.push_back(1); });
  auto second = loop_.CreateTimer([&] { fired.push_back(2); });
  second->Start(500);
  first->Start(400);
  loop_.AdvanceBy(100);
  first->Start(400);  // armed after `second`, due at the same moment
  loop_.AdvanceBy(400);
  EXPECT_EQ(fired, (std::vector<int>{2, 1}));
}

TEST_F(ManualMainLoopTest, ReArmingReplacesThePendingExpiry) {
  int fired = 0;
  auto timer = loop_.CreateTimer([&] { ++fired; });
  timer->Start(100);
  timer->Start(500);
  EXPECT_EQ(loop_.NextDueIn(), 500u);
  loop_.AdvanceBy(100);
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(loop_.DueIn(*timer), 400u);
  loop_.AdvanceBy(1000);
  EXPECT_EQ(fired, 1);
}

TEST_F(ManualMainLoopTest, StopCancelsThePendingExpiry) {
  int fired = 0;
  auto timer = loop_.CreateTimer([&] { ++fired; });
  timer->Start(100);
  timer->Stop();
  EXPECT_FALSE(timer->Active());
  EXPECT_EQ(loop_.NextDueIn(), std::nullopt);
  loop_.AdvanceBy(1000);
  EXPECT_EQ(fired, 0);
}

TEST_F(ManualMainLoopTest, TimerReArmedFromItsOwnExpiryFiresAgain) {
  std::vector<std::uint64_t> firedAt;
  std::unique_ptr<TTimer> timer;
  timer = loop_.CreateTimer([&] {
    EXPECT_FALSE(timer->Active());
    firedAt.push_back(clock_.Elapsed());
    if (firedAt.size() < 3)
      timer->Start(100);
  });
  timer->Start(100);
  loop_.AdvanceBy(1000);
  EXPECT_EQ(firedAt, (std::vector<std::uint64_t>{100, 200, 300}));
}

TEST_F(ManualMainLoopTest, TimerDestroyedInItsOwnExpiryIsSafe) {
  int fired = 0;
  std::unique_ptr<TTimer> timer;
  timer = loop_.CreateTimer([&] {
    ++fired;
    timer.reset();
  });
  timer->Start(10);
  loop_.AdvanceBy(100);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(timer, nullptr);
}

TEST_F(ManualMainLoopTest, TaskPostedByAnExpiryRunsBeforeTheNextExpiry) {
  std::vector<std::string> order;
  auto first = loop_.CreateTimer([&] {
    order.push_back("first");
    loop_.Post([&] { order.push_back("posted"); });
  });
  auto second = loop_.CreateTimer([&] { order.push_back("second"); });
  first->Start(100);
  second->Start(100);
  loop_.AdvanceBy(100);
  EXPECT_EQ(order, (std::vector<std::string>{"first", "posted", "second"}));
}

TEST_F(ManualMainLoopTest, RunPendingFiresDueTimersWithoutMovingTime) {
  int fired = 0;
  auto now = loop_.CreateTimer([&] { ++fired; });
  auto later = loop_.CreateTimer([&] { ++fired; });
  now->Start(0);
  later->Start(1);
  EXPECT_EQ(loop_.RunPending(), 1u);
  EXPECT_EQ(clock_.Elapsed(), 0u);
  EXPECT_TRUE(later->Active());
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
  for (int w = 0; w < kWorkers; ++w) {
    ASSERT_EQ(seen[w].size(), static_cast<std::size_t>(kPosts)) << "worker " << w;
    for (int i = 0; i < kPosts; ++i)
      ASSERT_EQ(seen[w][i], i) << "worker " << w;
  }
}

TEST_F(ManualMainLoopTest, SynchronizeBlocksTheWorkerUntilTheMainThreadRanIt) {
  std::atomic<bool> returned{false};
  bool ranOnMain = false;
  bool result = false;
  std::thread worker([&] {
    result = loop_.Synchronize([&] { ranOnMain = loop_.IsMainThread(); });
    returned = true;
  });
  ASSERT_TRUE(loop_.WaitForSynchronizeCall(kThreadLimit));
  EXPECT_FALSE(returned);  // nothing ran it yet
  EXPECT_EQ(loop_.RunPending(), 1u);
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_TRUE(ranOnMain);
}

TEST_F(ManualMainLoopTest, SynchronizeKeepsItsPlaceAmongThePosts) {
  std::vector<int> order;
  std::thread worker([&] {
    loop_.Post([&] { order.push_back(1); });
    loop_.Synchronize([&] { order.push_back(2); });
  });
  ASSERT_TRUE(loop_.WaitForSynchronizeCall(kThreadLimit));
  loop_.Post([&] { order.push_back(3); });
  loop_.RunPending();
  worker.join();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(ManualMainLoopTest, ShutdownReleasesAWorkerAlreadyWaitingWithoutRunningItsTask) {
  bool ran = false;
  bool result = true;
  std::thread worker([&] { result = loop_.Synchronize([&] { ran = true; }); });
  ASSERT_TRUE(loop_.WaitForSynchronizeCall(kThreadLimit));
  loop_.Shutdown();
  worker.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(loop_.RunPending(), 0u);
  EXPECT_FALSE(ran);
}

TEST_F(ManualMainLoopTest, AfterShutdownSynchronizeFailsAndPostsAreDropped) {
  bool ran = false;
  loop_.Post([&] { ran = true; });
  loop_.Shutdown();
  loop_.Post([&] { ran = true; });
  bool workerResult = true;
  std::thread worker([&] { workerResult = loop_.Synchronize([&] { ran = true; }); });
  worker.join();
  EXPECT_FALSE(workerResult);
  EXPECT_FALSE(loop_.Synchronize([&] { ran = true; }));  // main thread too
  EXPECT_EQ(loop_.RunPending(), 0u);
  EXPECT_FALSE(ran);
}

TEST_F(ManualMainLoopTest, SynchronizeOnTheMainThreadRunsAtOnce) {
  bool ran = false;
  EXPECT_TRUE(loop_.Synchronize([&] { ran = true; }));
  EXPECT_TRUE(ran);
  EXPECT_EQ(loop_.PendingTasks(), 0u);
}

TEST_F(ManualMainLoopTest, ExceptionOfASynchronizedTaskReachesTheWorkerNotTheMainThread) {
  bool caught = false;
  std::thread worker([&] {
    try {
      loop_.Synchronize([] { throw std::runtime_error("step failed"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
  });
  ASSERT_TRUE(loop_.WaitForSynchronizeCall(kThreadLimit));
  EXPECT_NO_THROW(loop_.RunPending());
  worker.join();
  EXPECT_TRUE(caught);
}

TEST_F(ManualMainLoopTest, DestroyingTheLoopReleasesAWaitingWorker) {
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

TEST(ManualClock, TickWrapsAcrossTwoToTheThirtyTwo) {
  TManualClock clock(TManualClock::kDefaultNow, 0xFFFFFFF0u);
  const std::uint32_t before = clock.Tick();
  clock.Advance(0x20);
  EXPECT_EQ(clock.Tick(), 0x10u);
  EXPECT_EQ(static_cast<std::uint32_t>(clock.Tick() - before), 0x20u);
}

TEST(ManualClock, ManySmallStepsDoNotDriftNow) {
  TManualClock clock;
  for (int i = 0; i < 86400; ++i)
    clock.Advance(1000);
  EXPECT_EQ(clock.Now(), TManualClock::kDefaultNow + 1.0);
}

TEST(ManualClock, DefaultNowIsMondayMorning) {
  EXPECT_EQ(TManualClock::kDefaultNow, EncodeDateTime(2026, 1, 5, 9, 0, 0));
}

TEST(ManualClock, TimersFollowAdvanceNotJumpsOfNowOrTick) {
  TManualClock clock;
  TManualMainLoop loop(clock);
  int fired = 0;
  auto timer = loop.CreateTimer([&] { ++fired; });
  timer->Start(100);
  clock.SetNow(TManualClock::kDefaultNow + 30);
  clock.SetTick(0);
  loop.RunPending();
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(loop.NextDueIn(), 100u);
}

}  // namespace
}  // namespace vantrel
