#include "platform/manual_main_loop.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace vantrel {

// ---- TManualClock ----------------------------------------------------------

TManualClock::TManualClock(TDateTime now, std::uint32_t tick) : BaseNow_(now), Tick_(tick) {}

TDateTime TManualClock::Now() const {
  std::lock_guard lock(Mutex_);
  return BaseNow_ + static_cast<double>(SinceBase_) / kMSecsPerDay;
}

std::uint32_t TManualClock::Tick() const {
  std::lock_guard lock(Mutex_);
  return Tick_;
}

void TManualClock::SetNow(TDateTime now) {
  std::lock_guard lock(Mutex_);
  BaseNow_ = now;
  SinceBase_ = 0;
}

void TManualClock::SetTick(std::uint32_t tick) {
  std::lock_guard lock(Mutex_);
  Tick_ = tick;
}

void TManualClock::Advance(std::uint64_t ms) {
  std::lock_guard lock(Mutex_);
  SinceBase_ += ms;
  Tick_ += static_cast<std::uint32_t>(ms);  // unsigned: wraps modulo 2^32
  Elapsed_ += ms;
}

std::uint64_t TManualClock::Elapsed() const {
  std::lock_guard lock(Mutex_);
  return Elapsed_;
}

// ---- TManualTimer ----------------------------------------------------------

class TManualMainLoop::TManualTimer final : public TTimer {
 public:
  TManualTimer(TManualMainLoop& loop, TTask onExpiry)
      : Loop_(&loop), OnExpiry_(std::make_shared<const TTask>(std::move(onExpiry))) {
    Loop_->Timers_.push_back(this);
  }

  ~TManualTimer() override {
    if (Loop_ == nullptr)
      return;
    assert(Loop_->IsMainThread());
    std::erase(Loop_->Timers_, this);
  }

  void Start(std::uint32_t ms) override {
    if (Loop_ == nullptr)
      return;
    assert(Loop_->IsMainThread());
    Due_ = Loop_->Clock_.Elapsed() + ms;
    ArmedAs_ = ++Loop_->ArmCount_;
    Active_ = true;
  }

  void Stop() override { Active_ = false; }
  bool Active() const override { return Active_; }

  TManualMainLoop* Loop_;
  // Shared so that an expiry that destroys its own timer keeps running safely.
  std::shared_ptr<const TTask> OnExpiry_;
  bool Active_ = false;
  std::uint64_t Due_ = 0;      // on the clock's Elapsed() count
  std::uint64_t ArmedAs_ = 0;  // breaks ties between equal due moments
};

// ---- TManualMainLoop -------------------------------------------------------

TManualMainLoop::TManualMainLoop(TManualClock& clock)
    : Clock_(clock), MainThread_(std::this_thread::get_id()) {}

TManualMainLoop::~TManualMainLoop() {
  Shutdown();
  // A timer that outlives its loop becomes inert instead of reaching freed memory.
  for (TManualTimer* timer : Timers_)
    timer->Loop_ = nullptr;
}

void TManualMainLoop::Enqueue(TTask task, bool synchronizeCall) {
  std::lock_guard lock(QueueMutex_);
  if (Closed_)
    return;
  Queue_.push_back({std::move(task), synchronizeCall});
  if (synchronizeCall)
    ++QueuedSynchronizeCalls_;
  // Under the lock: once a waiting test sees the task it may destroy the loop.
  QueueChanged_.notify_all();
}

void TManualMainLoop::Post(TTask task) {
  Enqueue(std::move(task), false);
}

bool TManualMainLoop::Synchronize(TTask task) {
  if (IsMainThread()) {
    if (ShuttingDown())
      return false;
    task();
    return true;
  }
  return Gate_.Call(std::move(task), [this](TTask runner) { Enqueue(std::move(runner), true); });
}

std::unique_ptr<TTimer> TManualMainLoop::CreateTimer(TTask onExpiry) {
  assert(IsMainThread());
  return std::make_unique<TManualTimer>(*this, std::move(onExpiry));
}

void TManualMainLoop::Shutdown() {
  std::deque<TQueued> dropped;
  {
    std::lock_guard lock(QueueMutex_);
    Closed_ = true;
    dropped.swap(Queue_);
    QueuedSynchronizeCalls_ = 0;
    QueueChanged_.notify_all();
  }
  Gate_.Shutdown();
  // `dropped` is destroyed here, outside the lock: a task's captures may post.
}

bool TManualMainLoop::ShuttingDown() const {
  return Gate_.ShuttingDown();
}

bool TManualMainLoop::IsMainThread() const {
  return std::this_thread::get_id() == MainThread_;
}

bool TManualMainLoop::RunOneTask() {
  TQueued next;
  {
    std::lock_guard lock(QueueMutex_);
    if (Queue_.empty())
      return false;
    next = std::move(Queue_.front());
    Queue_.pop_front();
    if (next.SynchronizeCall)
      --QueuedSynchronizeCalls_;
  }
  // Unlocked: the task may post, or a worker may post while it runs.
  next.Task();
  return true;
}

TManualMainLoop::TManualTimer* TManualMainLoop::EarliestArmed() const {
  TManualTimer* earliest = nullptr;
  for (TManualTimer* timer : Timers_) {
    if (!timer->Active_)
      continue;
    if (earliest == nullptr || timer->Due_ < earliest->Due_ ||
        (timer->Due_ == earliest->Due_ && timer->ArmedAs_ < earliest->ArmedAs_)) {
      earliest = timer;
    }
  }
  return earliest;
}

void TManualMainLoop::Fire(TManualTimer& timer) {
  timer.Active_ = false;
  const std::shared_ptr<const TTask> onExpiry = timer.OnExpiry_;
  (*onExpiry)();  // may re-arm, stop or destroy `timer`
}

std::size_t TManualMainLoop::RunPending() {
  assert(IsMainThread());
  std::size_t ran = 0;
  for (;;) {
    if (RunOneTask()) {
      ++ran;
      continue;
    }
    TManualTimer* timer = EarliestArmed();
    if (timer == nullptr || timer->Due_ > Clock_.Elapsed())
      break;
    Fire(*timer);
    ++ran;
  }
  return ran;
}

void TManualMainLoop::AdvanceBy(std::uint64_t ms) {
  assert(IsMainThread());
  const std::uint64_t target = Clock_.Elapsed() + ms;
  RunPending();
  for (;;) {
    TManualTimer* timer = EarliestArmed();
    if (timer == nullptr || timer->Due_ > target)
      break;
    const std::uint64_t now = Clock_.Elapsed();
    if (timer->Due_ > now)
      Clock_.Advance(timer->Due_ - now);
    Fire(*timer);
    RunPending();
  }
  const std::uint64_t now = Clock_.Elapsed();
  if (target > now)
    Clock_.Advance(target - now);
}

std::optional<std::uint64_t> TManualMainLoop::DueIn(const TTimer& timer) const {
  assert(IsMainThread());
  const auto* manual = dynamic_cast<const TManualTimer*>(&timer);
  if (manual == nullptr || manual->Loop_ != this || !manual->Active_)
    return std::nullopt;
  const std::uint64_t now = Clock_.Elapsed();
  return manual->Due_ > now ? manual->Due_ - now : 0;
}

std::optional<std::uint64_t> TManualMainLoop::NextDueIn() const {
  const TManualTimer* timer = EarliestArmed();
  if (timer == nullptr)
    return std::nullopt;
  return DueIn(*timer);
}

std::size_t TManualMainLoop::PendingTasks() const {
  std::lock_guard lock(QueueMutex_);
  return Queue_.size();
}

bool TManualMainLoop::WaitForSynchronizeCall(std::chrono::milliseconds limit) {
  std::unique_lock lock(QueueMutex_);
  return QueueChanged_.wait_for(lock, limit, [this] { return QueuedSynchronizeCalls_ > 0; });
}

bool TManualMainLoop::WaitForPending(std::chrono::milliseconds limit) {
  std::unique_lock lock(QueueMutex_);
  return QueueChanged_.wait_for(lock, limit, [this] { return !Queue_.empty(); });
}

}  // namespace vantrel
