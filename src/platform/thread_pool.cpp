#include "platform/thread_pool.h"

#include <pthread.h>

#include <algorithm>
#include <exception>
#include <utility>

namespace vantrel {

namespace {

// The kernel keeps 15 characters of a thread's name.
constexpr std::size_t kThreadNameLimit = 15;

}  // namespace

TThreadPool::TThreadPool(std::string name, std::size_t maxThreads,
                         std::chrono::milliseconds idleLimit)
    : BusyName_(name.substr(0, kThreadNameLimit)),
      IdleName_((name + "-idle").substr(0, kThreadNameLimit)),
      MaxThreads_(std::max<std::size_t>(maxThreads, 1)),
      IdleLimit_(idleLimit) {}

TThreadPool::~TThreadPool() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(Mutex_);
    Stopping_ = true;
    for (TWorker* worker : Idle_)
      worker->Wake.notify_one();
    Idle_.clear();
    for (TWorker& worker : Workers_)
      threads.push_back(std::move(worker.Thread));
    for (std::thread& thread : Retired_)
      threads.push_back(std::move(thread));
    Retired_.clear();
  }
  // The busy workers run the jobs still waiting before they end; their worker
  // records stay until the members go, after these joins.
  for (std::thread& thread : threads)
    thread.join();
}

std::future<void> TThreadPool::Submit(std::function<void()> job) {
  for (std::thread& thread : TakeRetired())
    thread.join();

  TJob next{std::move(job), {}};
  std::future<void> done = next.Done.get_future();
  std::lock_guard lock(Mutex_);
  if (!Idle_.empty()) {
    TWorker* worker = Idle_.back();
    Idle_.pop_back();
    worker->Job = std::move(next);
    worker->Wake.notify_one();
    return done;
  }
  if (Workers_.size() >= MaxThreads_) {
    Queued_.push_back(std::move(next));
    return done;
  }
  TWorker& worker = Workers_.emplace_back();
  worker.Job = std::move(next);
  try {
    // It starts by waiting for this lock, and so finds its job in place.
    worker.Thread = std::thread([this, &worker] { Work(worker); });
  } catch (...) {
    Workers_.pop_back();
    throw;
  }
  return done;
}

std::size_t TThreadPool::ThreadCount() const {
  std::lock_guard lock(Mutex_);
  return Workers_.size();
}

std::size_t TThreadPool::IdleCount() const {
  std::lock_guard lock(Mutex_);
  return Idle_.size();
}

std::size_t TThreadPool::QueuedCount() const {
  std::lock_guard lock(Mutex_);
  return Queued_.size();
}

std::vector<std::thread> TThreadPool::TakeRetired() {
  std::lock_guard lock(Mutex_);
  return std::exchange(Retired_, {});
}

void TThreadPool::SetThreadName(bool busy) const {
  // Only a name: a failure changes nothing else.
  ::pthread_setname_np(::pthread_self(), (busy ? BusyName_ : IdleName_).c_str());
}

void TThreadPool::Work(TWorker& worker) {
  std::unique_lock lock(Mutex_);
  while (worker.Job) {
    TJob job = std::move(*worker.Job);
    worker.Job.reset();
    lock.unlock();

    SetThreadName(true);
    std::exception_ptr error;
    try {
      job.Run();
    } catch (...) {
      error = std::current_exception();
    }
    job.Run = nullptr;  // what it holds goes before the job counts as ended
    SetThreadName(false);

    lock.lock();
    if (!Queued_.empty()) {
      worker.Job = std::move(Queued_.front());
      Queued_.pop_front();
    } else if (!Stopping_) {
      Idle_.push_back(&worker);
    }
    // Only now, with the thread back among the idle ones, so that a job
    // submitted after this one has ended finds it there.
    if (error)
      job.Done.set_exception(error);
    else
      job.Done.set_value();
    if (worker.Job)
      continue;
    if (Stopping_)
      return;

    if (!worker.Wake.wait_for(lock, IdleLimit_, [&] { return worker.Job || Stopping_; })) {
      // Nothing to do for a whole idle limit: retire. The thread is joined
      // by the next Submit or by the destructor.
      Idle_.erase(std::find(Idle_.begin(), Idle_.end(), &worker));
      Retired_.push_back(std::move(worker.Thread));
      Workers_.remove_if([&](const TWorker& each) { return &each == &worker; });
      return;
    }
  }
}

}  // namespace vantrel
