#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/main_loop.h"
#include "platform/unique_fd.h"

class QSocketNotifier;

namespace vantrel {

// The main loop of both programs, on QCoreApplication's event loop. Timers are
// precise single-shot QTimers. Tasks wait in a queue of our own and an eventfd,
// watched by a socket notifier on the main thread, wakes the loop for them: so
// a worker hands Qt no object to share (and ThreadSanitizer sees every hand-over).
// Create it on the main thread after the QCoreApplication; the event loop itself
// (exec, quit) stays the application's.
class TQtMainLoop final : public TMainLoop {
 public:
  TQtMainLoop();
  // Shuts down, so a worker still waiting in Synchronize is released.
  ~TQtMainLoop() override;
  TQtMainLoop(const TQtMainLoop&) = delete;
  TQtMainLoop& operator=(const TQtMainLoop&) = delete;

  void Post(TTask task) override;
  [[nodiscard]] bool Synchronize(TTask task) override;
  std::unique_ptr<TTimer> CreateTimer(TTask onExpiry) override;
  // Runs the queued tasks, then processes the events pending now without
  // waiting for more.
  void DispatchPending() override;
  void Shutdown() override;
  bool ShuttingDown() const override;
  bool IsMainThread() const override;

 private:
  void Enqueue(TTask task);
  // Runs the tasks queued when it starts, not those they queue in turn, so a
  // task that keeps re-posting itself cannot starve timers and other events.
  void RunQueued();
  void Wake();  // QueueMutex_ held

  const std::thread::id MainThread_;
  TSynchronizeGate Gate_;

  std::mutex QueueMutex_;
  std::deque<TTask> Queue_;
  bool Closed_ = false;  // Shutdown: Queue_ takes nothing more

  TUniqueFd WakeFd_;
  std::unique_ptr<QSocketNotifier> Notifier_;
};

}  // namespace vantrel
