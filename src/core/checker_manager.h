#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/checker.h"
#include "core/checker_context.h"
#include "platform/main_loop.h"
#include "platform/thread_pool.h"

namespace vantrel {

// Decides when each watch item is checked and starts one checker per due
// check. It runs on the main thread: one re-armable timer and posted wake-ups
// both run the same tick, which starts a checker for every active item whose
// NextRun has come and re-arms the timer for the next one to fall due. An
// item has one check at a time: from its start to the moment its result is
// applied (or the checker ends without one) the item is Checking and not due,
// so a server that answers slower than the item's frequency holds one of the
// places below kMaxCheckers, not all of them. The
// checks run on a pool of worker threads kept for reuse, named "checker"
// while they check: with many items at short frequencies, creating and
// freeing a thread per check held up the main thread and made checks late.
//
// Shut-down order: the owner shuts the main loop down before destroying the
// manager, so that a checker waiting for a main-thread step is released
// instead of waiting forever; the destructor then cancels the checks under
// way and joins every checker, and no checker step or callback runs
// afterwards. The loop and everything the context refers to must outlive the
// manager, and it must not be destroyed from inside a checker's step or one
// of the context's callbacks: that step's checker waits for it to end.
class TCheckerManager {
 public:
  static constexpr std::uint32_t kFirstTickMs = 100;
  static constexpr std::size_t kMaxCheckers = 32;  // a tick starts checkers only below this
  static constexpr std::uint32_t kBusyRetryMs = 100;
  static constexpr std::uint32_t kIdleWaitMs = 900000;  // no active item: 15 minutes
  // Checks beyond this many at once wait for a thread. A thread costs some
  // 20 KiB even while it only waits for the main thread, and the main thread,
  // which prepares and finishes every check, limits how many checks a second
  // get through, not the number of threads. A tick still starts every check
  // that is due.
  static constexpr std::size_t kMaxCheckerThreads = 256;

  // Main thread. Arms the first tick in kFirstTickMs; created paused, the
  // manager ticks only after Resume. Throws std::invalid_argument when a
  // required part of the context is missing.
  TCheckerManager(TCheckerContext context, bool createPaused = false);
  // Main thread. Should the loop still be running while a checker may call on
  // it, the destructor shuts the loop down itself: joining a checker that
  // waits for the main thread would never end.
  ~TCheckerManager();
  TCheckerManager(const TCheckerManager&) = delete;
  TCheckerManager& operator=(const TCheckerManager&) = delete;

  // Main thread: after anything that can make an item due earlier; posts a
  // tick unless paused.
  void Wake();
  // Main thread: no more ticks; running checkers that have not begun their
  // check stop, those under way run to their end.
  void Pause();
  // Main thread: ticks again, at once.
  void Resume();

  bool Running() const { return Running_; }
  // Text last shown in the first status-bar panel.
  const std::string& StatusText() const { return StatusText_; }
  // Checkers started and not yet ended.
  std::size_t CheckerCount() const { return Checkers_.size(); }
  // Their items' Ids, in the order they were started.
  std::vector<std::int32_t> CheckerItemIds() const;

 private:
  // Lets tasks that may outlive the manager (posted ticks, the end of a
  // checker) find out whether it still exists. Main thread only.
  struct TToken {
    TCheckerManager* Manager = nullptr;
  };

  // A checker, and whether its item is still Checking on its account.
  struct TStarted {
    std::unique_ptr<TChecker> Checker;
    std::int32_t ItemId = 0;
    bool HoldsItem = true;
  };

  void Tick();
  void RunTick();
  // The first time a tick meets `item` with a frequency the schedule cannot
  // follow, logs that it is checked every second instead; true then.
  bool WarnOfFrequency(const TWatchItem& item);
  void StartChecker(TWatchItem& item);
  // Main thread: the check of `started` has ended, and its item may fall due
  // again (once). True when that item is still there and active.
  bool ReleaseItem(TStarted& started);
  // Main thread: the checker's result was applied.
  void CheckEnded(std::uint64_t number);
  // Main thread: the checker's thread has ended.
  void CheckerDone(std::uint64_t number);
  void SetStatus(std::string text);
  void ArmTimer(std::uint32_t ms);

  TCheckerContext Context_;
  bool Running_;
  std::shared_ptr<TToken> Token_;
  // Before the checkers: it outlives them.
  TThreadPool Pool_{"checker", kMaxCheckerThreads};
  // By the number each got when it started: in starting order, and found
  // again quickly when it ends with thousands under way.
  std::map<std::uint64_t, TStarted> Checkers_;
  std::uint64_t NextChecker_ = 0;
  // Items whose frequency below one second has been logged, once a run.
  std::unordered_set<std::int32_t> FrequencyWarned_;
  std::string StatusText_;
  std::unique_ptr<TTimer> Timer_;
};

}  // namespace vantrel
