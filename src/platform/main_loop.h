#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace vantrel {

// A one-shot timer of a main loop. Main thread only; its expiry runs on the
// main thread. Destroying the timer cancels it, even from inside its own expiry.
class TTimer {
 public:
  virtual ~TTimer() = default;

  // Arms the timer to expire once, `ms` milliseconds from now. A pending expiry
  // is replaced, so re-arming never produces two expiries.
  virtual void Start(std::uint32_t ms) = 0;

  // Cancels a pending expiry; harmless when none is pending.
  virtual void Stop() = 0;

  // True from Start until the expiry begins to run or Stop is called, so an
  // expiry that re-arms its own timer sees it inactive first.
  virtual bool Active() const = 0;
};

// The main thread's event loop as the program's logic sees it: everything that
// touches items, files, settings and the log runs on the main thread, and worker
// threads reach it only through Post and Synchronize.
class TMainLoop {
 public:
  using TTask = std::function<void()>;

  virtual ~TMainLoop() = default;

  // Any thread: queues `task` to run on the main thread. Tasks run in the order
  // they were posted, interleaved with Synchronize calls. Dropped once shutting down.
  virtual void Post(TTask task) = 0;

  // From a worker thread: runs `task` on the main thread and blocks until it has
  // run; an exception it throws is rethrown here, not on the main thread.
  // Returns false, without running it, once the loop is shutting down, also to a
  // worker that was already waiting, so no worker waits forever. On the main
  // thread it runs the task at once (true), or not at all when shutting down (false).
  [[nodiscard]] virtual bool Synchronize(TTask task) = 0;

  // Main thread: a new, inactive one-shot timer whose expiry runs `onExpiry`.
  // Timers must be destroyed on the main thread.
  virtual std::unique_ptr<TTimer> CreateTimer(TTask onExpiry) = 0;

  // Main thread: runs what is pending now (posted tasks, due timers) and returns.
  // This is the pump that long file work calls to keep the window responsive;
  // it may be called from inside a task.
  virtual void DispatchPending() = 0;

  // Any thread: begins shutdown. Waiting and later Synchronize calls return
  // false, posted tasks that have not run yet and later posts are dropped.
  // Timers keep working; their owners stop them.
  virtual void Shutdown() = 0;

  // Any thread: true once Shutdown has been called.
  virtual bool ShuttingDown() const = 0;

  // Any thread: true on the loop's main thread (the thread that created it).
  virtual bool IsMainThread() const = 0;
};

// The worker side of Synchronize and the shutdown flag, shared by the loops.
// A worker's call and the main thread's run of it meet here under one lock, so
// that a task either runs to its end while its worker waits, or never runs and
// its worker is released by Shutdown; never both, never neither. The lock and
// flag are shared with the waiting workers and the runners, so the gate may be
// destroyed (after Shutdown) while a released worker is still waking up.
class TSynchronizeGate {
 public:
  TSynchronizeGate();

  // Gets `runner` onto the main thread (e.g. queues it); must not run it inline.
  using TDeliver = std::function<void(TMainLoop::TTask runner)>;

  // Worker thread: hands a runner of `task` to `deliver` and waits until the task
  // has run (true, or its exception rethrown) or shutdown released the wait
  // before the task began (false). A runner that comes too late does nothing.
  bool Call(TMainLoop::TTask task, const TDeliver& deliver);

  // Releases every waiting call whose task has not begun; later calls return false.
  void Shutdown();

  bool ShuttingDown() const;

 private:
  struct TShared;
  std::shared_ptr<TShared> Shared_;
};

}  // namespace vantrel
