#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/main_loop.h"

namespace vantrel {

// A clock that moves only when told to. Now and Tick advance together; each can
// also be set on its own (a jump of the wall clock, a tick about to wrap).
// Thread-safe: worker threads read it while the test moves it.
class TManualClock final : public TClock {
 public:
  // 2026-01-05 09:00, a Monday; exactly representable, so sums of whole
  // milliseconds compare exactly in tests.
  static constexpr TDateTime kDefaultNow = 46027.375;

  explicit TManualClock(TDateTime now = kDefaultNow, std::uint32_t tick = 0);

  TDateTime Now() const override;
  std::uint32_t Tick() const override;

  void SetNow(TDateTime now);
  void SetTick(std::uint32_t tick);

  // Moves Now and Tick forward by `ms`; the tick wraps past 2^32 - 1.
  void Advance(std::uint64_t ms);

  // Milliseconds moved by Advance since the clock was made; SetNow and SetTick
  // leave it alone. The manual loop's timers run on this count, so neither a
  // tick wrap nor a jump of Now disturbs their order.
  std::uint64_t Elapsed() const;

 private:
  mutable std::mutex Mutex_;
  TDateTime BaseNow_;
  std::uint64_t SinceBase_ = 0;  // ms advanced since BaseNow_ was set: no drift from sums
  std::uint32_t Tick_;
  std::uint64_t Elapsed_ = 0;
};

// A main loop for tests, driven by hand on virtual time. Nothing runs until the
// test calls RunPending, DispatchPending or AdvanceBy on the main thread (the
// thread that created the loop). Post, Synchronize, Shutdown, the Wait calls and
// PendingTasks are safe from any thread.
class TManualMainLoop final : public TMainLoop {
 public:
  explicit TManualMainLoop(TManualClock& clock);
  // Shuts down, so a worker still waiting in Synchronize is released.
  ~TManualMainLoop() override;
  TManualMainLoop(const TManualMainLoop&) = delete;
  TManualMainLoop& operator=(const TManualMainLoop&) = delete;

  void Post(TTask task) override;
  [[nodiscard]] bool Synchronize(TTask task) override;
  std::unique_ptr<TTimer> CreateTimer(TTask onExpiry) override;
  void DispatchPending() override { RunPending(); }
  void Shutdown() override;
  bool ShuttingDown() const override;
  bool IsMainThread() const override;

  TManualClock& Clock() { return Clock_; }

  // Runs posted tasks (Synchronize calls included) and the timers due at the
  // current moment, including those that become pending meanwhile, until none
  // is left. Time does not move. Returns how many tasks and expiries ran.
  std::size_t RunPending();

  // Moves time forward by `ms`, firing every timer that falls due on the way in
  // due order (equal due moments in arming order) with the clock set to its due
  // moment, and running pending tasks before and after each expiry.
  void AdvanceBy(std::uint64_t ms);

  // Milliseconds until the earliest armed timer falls due (0 when it is due
  // now), or nothing when no timer is armed.
  std::optional<std::uint64_t> NextDueIn() const;
  // The same for one timer of this loop; nothing when it is not armed.
  std::optional<std::uint64_t> DueIn(const TTimer& timer) const;

  // Tasks queued and not yet run (posts and Synchronize calls).
  std::size_t PendingTasks() const;

  // Waits, at most `limit` of real time, until a worker's Synchronize call is
  // queued and not yet run; false when none came. The test then runs it with
  // RunPending. This waits for another thread, not for virtual time.
  [[nodiscard]] bool WaitForSynchronizeCall(std::chrono::milliseconds limit);
  // The same for any queued task.
  [[nodiscard]] bool WaitForPending(std::chrono::milliseconds limit);

 private:
  class TManualTimer;

  struct TQueued {
    TTask Task;
    bool SynchronizeCall = false;
  };

  void Enqueue(TTask task, bool synchronizeCall);
  bool RunOneTask();
  TManualTimer* EarliestArmed() const;
  void Fire(TManualTimer& timer);

  TManualClock& Clock_;
  const std::thread::id MainThread_;
  TSynchronizeGate Gate_;

  mutable std::mutex QueueMutex_;
  std::condition_variable QueueChanged_;
  std::deque<TQueued> Queue_;
  std::size_t QueuedSynchronizeCalls_ = 0;
  bool Closed_ = false;  // Shutdown: Queue_ takes nothing more

  // Main thread only.
  std::vector<TManualTimer*> Timers_;
  std::uint64_t ArmCount_ = 0;
};

}  // namespace vantrel
