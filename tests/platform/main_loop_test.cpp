#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/manual_main_loop.h"
#include "support/main_loop_contract.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;

// Waits for other threads, never for time: generous, and only reached on failure.
constexpr auto kThreadLimit = 10s;

// Runs the manual loop as a test drives it: pending work, then virtual time
// up to the next expiry; real time passes only while waiting for a worker.
class TManualDriver {
 public:
  TMainLoop& Loop() { return Loop_; }
  bool RunUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kThreadLimit;
    while (!done()) {
      if (Loop_.RunPending() > 0)
        continue;
      if (const auto due = Loop_.NextDueIn())
        Loop_.AdvanceBy(*due);
      else if (std::chrono::steady_clock::now() > deadline)
        return false;
      else
        static_cast<void>(Loop_.WaitForPending(10ms));  // the loop looks again either way
    }
    return true;
  }

 private:
  TManualClock Clock_;
  TManualMainLoop Loop_{Clock_};
};

INSTANTIATE_TYPED_TEST_SUITE_P(Manual, MainLoopContract, TManualDriver);

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

TEST_F(ManualMainLoopTest, PostsOfAnExpiryRunBeforeTheNextExpiry) {
  std::unique_ptr<TTimer> again, other = Timer("other");
  int count = 0;
  again = loop_.CreateTimer([&] {
    fired_.push_back("again");
    loop_.Post([&] { fired_.push_back("posted"); });
    if (++count < 2)
      again->Start(100);
  });
  again->Start(100);
  other->Start(100);
  loop_.AdvanceBy(1000);
  EXPECT_EQ(fired_,
            (std::vector<std::string>{"again", "posted", "other@100/100", "again", "posted"}));
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

TEST_F(ManualMainLoopTest, DestroyingTheLoopReleasesAWaitingWorkerAndDisarmsItsTimers) {
  auto loop = std::make_unique<TManualMainLoop>(clock_);
  std::atomic<bool> returned{false};
  bool result = true;
  std::thread worker([&] {
    result = loop->Synchronize([] {});
    returned = true;
  });
  ASSERT_TRUE(loop->WaitForSynchronizeCall(kThreadLimit));
  EXPECT_FALSE(returned);  // nothing runs a call before the test does
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
