#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "core/check_request.h"
#include "core/check_runner.h"
#include "core/checker_context.h"
#include "platform/thread_pool.h"

namespace vantrel {

class TWatchItem;

// One check of one watch item on a worker thread. The item is known by
// its Id only: every step on the main thread looks it up again, and a step
// whose item was deleted meanwhile does nothing.
//
//   Prepare  (main thread)  "Start checking " log line and status; copies the
//                           item's settings, its proxy and the connection-test
//                           settings into the request
//   Stop     (main thread)  instead of the check when checking was paused
//                           before it began or the item is no longer active:
//                           "Stop checking " and the item's schedule falls back
//   the check (worker)      TCheckRunner::Run on the copies only
//   Finish   (main thread)  "End checking " and the result lines, then the
//                           result is applied to the item (ApplyCheckResult)
//
// A main-thread step that cannot run because the loop is shutting down ends
// the checker. An exception on the way ends it too and goes to the context's
// error handler. Either way the checker's last act, on its worker thread, is
// THooks::Ended; whoever owns it joins it afterwards on the main thread.
class TChecker {
 public:
  // Of a failed page, Finish logs this much; the log says how much more there
  // was. A server may send an endless page.
  static constexpr std::size_t kLoggedPageLimit = 64 * 1024;

  struct THooks {
    std::function<void()> Wake;            // main thread, after a result was applied
    std::function<void(TChecker&)> Ended;  // the worker thread, last of all
  };

  // Main thread. `context` must outlive the checker.
  TChecker(const TCheckerContext& context, std::int32_t itemId,
           std::unique_ptr<TCheckRunner> runner, THooks hooks);
  // Joins the checker (it must have been released: see Cancel).
  ~TChecker();
  TChecker(const TChecker&) = delete;
  TChecker& operator=(const TChecker&) = delete;

  // Main thread: starts the checker on a thread of `pool`; once only.
  // Throws what the pool throws when it cannot get a thread.
  void Start(TThreadPool& pool);
  // Asks the checker not to begin its check; a check under way runs to its end.
  void Terminate() { Terminated_.store(true); }
  bool Terminated() const { return Terminated_.load(); }
  // Makes a check under way return promptly (shut-down).
  void Cancel();
  // Main thread: waits until the checker's work on its thread has ended
  // (harmless when it has or never started). It must be able to end: its
  // main-thread steps must run or the loop must be shutting down.
  void Join();
  // True once the checker's thread will not call on the main thread again.
  bool Finished() const { return Finished_.load(); }

  std::int32_t ItemId() const { return ItemId_; }

 private:
  void Execute();
  void Work();
  // Runs `step` on the main thread and waits for it; false when the loop is
  // shutting down and the step did not run.
  bool OnMainThread(void (TChecker::*step)());
  void Prepare();
  void Stop();
  void Finish();
  // The item, looked up by Id; null when it has been deleted.
  TWatchItem* FindItem() const;
  void Log(const std::string& text) const;
  void ShowStatus(const std::string& text) const;

  const TCheckerContext& Context_;
  const std::int32_t ItemId_;
  const std::unique_ptr<TCheckRunner> Runner_;
  const THooks Hooks_;

  std::atomic<bool> Terminated_{false};
  std::atomic<bool> Finished_{false};
  // Written by one side and read by the other only across a main-thread step,
  // which orders the two.
  bool ItemGone_ = false;
  TCheckRequest Request_;
  TCheckResult Result_;

  std::future<void> Ended_;  // ready once the work on the pool's thread has ended
};

}  // namespace vantrel
