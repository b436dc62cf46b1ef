#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <limits>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantrel {

// Worker threads kept for reuse, so that short jobs started at a high rate do
// not each pay for creating and freeing a thread. A job submitted while no
// thread is idle gets a new thread, so the pool grows with the number of jobs
// running together, up to `maxThreads`; beyond that, jobs wait in order for a
// thread to come free. A finished thread is the first to be given the next
// job (last idle, first reused), so the surplus of a burst stays idle and
// ends after `idleLimit` without work.
//
// Threads carry the name given (at most 15 characters) while they run a job
// and that name with "-idle" while they wait, so tools that list a process's
// threads see how many jobs run.
class TThreadPool {
 public:
  static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();
  static constexpr std::chrono::milliseconds kDefaultIdleLimit{30000};

  explicit TThreadPool(std::string name = "worker", std::size_t maxThreads = kUnlimited,
                       std::chrono::milliseconds idleLimit = kDefaultIdleLimit);
  // Lets every job already submitted run to its end, then joins every thread.
  ~TThreadPool();
  TThreadPool(const TThreadPool&) = delete;
  TThreadPool& operator=(const TThreadPool&) = delete;

  // Any thread but the pool's own: runs `job` on an idle thread, a new one,
  // or the first to come free. The future becomes ready when the job has
  // ended (holding what it threw), and by then its thread has gone back to
  // the idle ones unless a waiting job took it: a job submitted after that
  // reuses it. Throws std::system_error when a needed thread cannot be
  // created.
  std::future<void> Submit(std::function<void()> job);

  // Threads alive, those of them waiting for a job, and the jobs waiting for
  // a thread.
  std::size_t ThreadCount() const;
  std::size_t IdleCount() const;
  std::size_t QueuedCount() const;

 private:
  struct TJob {
    std::function<void()> Run;
    std::promise<void> Done;
  };
  struct TWorker {
    std::thread Thread;
    std::condition_variable Wake;
    std::optional<TJob> Job;  // handed over, not yet taken
  };

  void Work(TWorker& worker);
  // The threads of workers that have retired, to be joined outside the lock.
  std::vector<std::thread> TakeRetired();
  void SetThreadName(bool busy) const;

  const std::string BusyName_;
  const std::string IdleName_;
  const std::size_t MaxThreads_;
  const std::chrono::milliseconds IdleLimit_;
  mutable std::mutex Mutex_;
  std::list<TWorker> Workers_;        // stable addresses for the threads
  std::vector<TWorker*> Idle_;        // the last to become idle at the back
  std::deque<TJob> Queued_;           // waiting for a thread, oldest first
  std::vector<std::thread> Retired_;  // ended for lack of work, not yet joined
  bool Stopping_ = false;
};

}  // namespace vantrel
