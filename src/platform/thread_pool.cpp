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

TThreadPool::TThreadPool(std::string name, std::chrono::milliseconds idleLimit)
    : BusyName_(name.substr(0, kThreadNameLimit)),
      IdleName_((name + "-idle").substr(0, kThreadNameLimit)),
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
  // A worker still running a job finishes it first; its worker record stays
  // until the members go, after these joins.
  for (std::thread& thread : threads)
    thread.join();
}

std::future<void> TThreadPool::Submit(std::function<void()> job) {
  for (std::thread& thread : TakeRetired())
    thread.join();

  std::lock_guard lock(Mutex_);
  TWorker* worker = nullptr;
  bool reused = false;
  if (!Idle_.empty()) {
    worker = Idle_.back();
    Idle_.pop_back();
    reused = true;
  } else {
    worker = &Workers_.emplace_back();
  }
  worker->Job = std::move(job);
  worker->Done = std::promise<void>();
  std::future<void> done = worker->Done.get_future();
  worker->HasJob = true;
  if (reused) {
    worker->Wake.notify_one();
    return done;
  }
  try {
    // It starts by waiting for this lock, and so finds its job in place.
    worker->Thread = std::thread([this, worker] { Work(*worker); });
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
  while (worker.HasJob) {
    std::function<void()> job = std::exchange(worker.Job, nullptr);
    std::promise<void> done = std::move(worker.Done);
    worker.HasJob = false;
    lock.unlock();

    SetThreadName(true);
    std::exception_ptr error;
    try {
      job();
    } catch (...) {
      error = std::current_exception();
    }
    job = nullptr;  // what it holds goes before the job counts as ended
    SetThreadName(false);

    lock.lock();
    if (!Stopping_)
      Idle_.push_back(&worker);
    // Only now, with the thread back among the idle ones, so that a job
    // submitted after this one has ended finds it there.
    if (error)
      done.set_exception(error);
    else
      done.set_value();
    if (Stopping_)
      return;

    if (!worker.Wake.wait_for(lock, IdleLimit_, [&] { return worker.HasJob || Stopping_; })) {
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
