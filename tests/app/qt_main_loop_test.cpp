#include "app/qt_main_loop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "support/main_loop_contract.h"

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

// Runs Qt's event loop: a bound on a wait for events and other threads, not
// a measurement.
class TQtDriver {
 public:
  TMainLoop& Loop() { return Loop_; }
  bool RunUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10s);
    QTimer guard;  // wakes the wait below at the deadline
    guard.setSingleShot(true);
    guard.start(10s);
    while (!done()) {
      if (deadline.hasExpired())
        return false;
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
  }

 private:
  TQtMainLoop Loop_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, MainLoopContract, TQtDriver);

TEST(QtMainLoop, TaskThatKeepsRePostingItselfDoesNotStarveTimers) {
  TQtDriver driver;
  constexpr int kGiveUp = 100000;  // only reached when the timer is starved
  int posts = 0;
  int postsWhenFired = -1;
  std::function<void()> again = [&] {
    if (postsWhenFired < 0 && ++posts < kGiveUp)
      driver.Loop().Post(again);
  };
  auto timer = driver.Loop().CreateTimer([&] { postsWhenFired = posts; });
  timer->Start(1);
  driver.Loop().Post(again);
  ASSERT_TRUE(driver.RunUntil([&] { return postsWhenFired >= 0; }));
  EXPECT_LT(postsWhenFired, kGiveUp);
}

}  // namespace
}  // namespace vantrel
