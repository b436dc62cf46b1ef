#include "platform/thread_pool.h"

#include <gtest/gtest.h>

#include <future>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

using ThreadId = std::thread::id;

// The id of the thread that ran a job, once the job has ended.
ThreadId RunOne(TThreadPool& pool) {
  ThreadId id;
  pool.Submit([&] { id = std::this_thread::get_id(); }).get();
  return id;
}

TEST(ThreadPool, ABurstGetsAThreadPerJobAndLaterJobsKeepToTheLastThreadFreed) {
  TThreadPool pool("test");
  const ThreadId first = RunOne(pool);
  EXPECT_EQ(RunOne(pool), first);
  // What a job throws goes to its future; the thread goes on.
  EXPECT_THROW(pool.Submit([] { throw std::runtime_error("broken"); }).get(), std::runtime_error);
  EXPECT_EQ(RunOne(pool), first);
  EXPECT_EQ(pool.ThreadCount(), 1u);

  // Each job waits until all have begun: this ends only when they run together.
  constexpr std::ptrdiff_t kBurst = 5;
  std::latch begun(kBurst);
  std::vector<std::future<void>> burst;
  for (int i = 0; i < kBurst; ++i)
    burst.push_back(pool.Submit([&] { begun.arrive_and_wait(); }));
  for (std::future<void>& done : burst)
    done.get();
  EXPECT_EQ(pool.ThreadCount(), static_cast<std::size_t>(kBurst));
  EXPECT_EQ(pool.IdleCount(), static_cast<std::size_t>(kBurst));

  // One job at a time goes to the same thread, so the others stay idle long
  // enough to retire.
  const ThreadId next = RunOne(pool);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(RunOne(pool), next);
  EXPECT_EQ(pool.ThreadCount(), static_cast<std::size_t>(kBurst));
}

TEST(ThreadPool, BeyondItsLimitJobsWaitForAThreadToComeFreeInTheirOrder) {
  TThreadPool pool("test", 1);
  std::latch begun(1);
  std::latch release(1);
  std::vector<int> order;  // written by one thread at a time: the only one
  std::future<void> first = pool.Submit([&] {
    begun.count_down();
    release.wait();
    order.push_back(1);
  });
  begun.wait();
  std::future<void> second = pool.Submit([&] { order.push_back(2); });
  std::future<void> third = pool.Submit([&] { order.push_back(3); });
  EXPECT_EQ(pool.ThreadCount(), 1u);
  EXPECT_EQ(pool.QueuedCount(), 2u);
  release.count_down();
  third.get();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace vantrel
