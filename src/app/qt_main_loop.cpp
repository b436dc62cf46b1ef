#include "app/qt_main_loop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <system_error>
#include <utility>

namespace vantrel {

namespace {

// QTimer counts in int milliseconds (about 24.8 days); a longer wait runs as a
// chain of the longest steps QTimer takes, and the expiry comes after the last.
class TQtTimer final : public TTimer {
 public:
  explicit TQtTimer(TMainLoop::TTask onExpiry)
      : OnExpiry_(std::make_shared<const TMainLoop::TTask>(std::move(onExpiry))) {
    Timer_.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the scheduler would then find
    // nothing due and tick again for nothing.
    Timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&Timer_, &QTimer::timeout, [this] { Expired(); });
  }

  void Start(std::uint32_t ms) override {
    Remaining_ = ms;
    Step();
  }

  void Stop() override {
    Timer_.stop();
    Remaining_ = 0;
  }

  bool Active() const override { return Timer_.isActive(); }

 private:
  void Step() {
    const std::uint32_t step = std::min<std::uint32_t>(Remaining_, INT_MAX);
    Remaining_ -= step;
    Timer_.start(static_cast<int>(step));
  }

  void Expired() {
    if (Remaining_ > 0) {
      Step();
      return;
    }
    // Held here, so an expiry that destroys this timer finishes safely.
    const std::shared_ptr<const TMainLoop::TTask> onExpiry = OnExpiry_;
    (*onExpiry)();
  }

  std::shared_ptr<const TMainLoop::TTask> OnExpiry_;
  std::uint32_t Remaining_ = 0;  // beyond the step now running
  QTimer Timer_;
};

}  // namespace

TQtMainLoop::TQtMainLoop() : MainThread_(std::this_thread::get_id()) {
  WakeFd_.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!WakeFd_)
    throw std::system_error(errno, std::generic_category(), "eventfd");
  Notifier_ = std::make_unique<QSocketNotifier>(WakeFd_.Get(), QSocketNotifier::Read);
  QObject::connect(Notifier_.get(), &QSocketNotifier::activated, [this] { RunQueued(); });
}

TQtMainLoop::~TQtMainLoop() {
  Shutdown();         // from here on no worker writes to WakeFd_
  Notifier_.reset();  // stops watching before WakeFd_ closes
}

void TQtMainLoop::Wake() {
  const std::uint64_t one = 1;
  // Cannot fail short of a counter overflow, and a full counter wakes anyway.
  [[maybe_unused]] const ssize_t written = ::write(WakeFd_.Get(), &one, sizeof one);
}

void TQtMainLoop::Enqueue(TTask task) {
  std::lock_guard lock(QueueMutex_);
  if (Closed_)
    return;
  // One wake-up per batch: RunQueued clears the eventfd before it takes tasks.
  if (Queue_.empty())
    Wake();
  Queue_.push_back(std::move(task));
}

void TQtMainLoop::RunQueued() {
  std::uint64_t count = 0;
  // Cleared first, so a task queued from now on wakes the loop again.
  [[maybe_unused]] const ssize_t cleared = ::read(WakeFd_.Get(), &count, sizeof count);
  std::size_t batch = 0;
  {
    std::lock_guard lock(QueueMutex_);
    batch = Queue_.size();
  }
  // One task at a time from the front: a task may pump (DispatchPending) and
  // take later ones itself, and posting order must hold across that.
  for (; batch > 0; --batch) {
    TTask task;
    {
      std::lock_guard lock(QueueMutex_);
      if (Queue_.empty())
        return;
      task = std::move(Queue_.front());
      Queue_.pop_front();
    }
    task();
  }
  std::lock_guard lock(QueueMutex_);
  if (!Queue_.empty())
    Wake();  // queued by this batch: they run next round
}

void TQtMainLoop::Post(TTask task) {
  Enqueue(std::move(task));
}

bool TQtMainLoop::Synchronize(TTask task) {
  if (IsMainThread()) {
    if (ShuttingDown())
      return false;
    task();
    return true;
  }
  return Gate_.Call(std::move(task), [this](TTask runner) { Enqueue(std::move(runner)); });
}

std::unique_ptr<TTimer> TQtMainLoop::CreateTimer(TTask onExpiry) {
  return std::make_unique<TQtTimer>(std::move(onExpiry));
}

void TQtMainLoop::DispatchPending() {
  RunQueued();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TQtMainLoop::Shutdown() {
  std::deque<TTask> dropped;
  {
    std::lock_guard lock(QueueMutex_);
    Closed_ = true;
    dropped.swap(Queue_);
  }
  Gate_.Shutdown();
  // `dropped` is destroyed here, outside the lock: a task's captures may post.
}

bool TQtMainLoop::ShuttingDown() const {
  return Gate_.ShuttingDown();
}

bool TQtMainLoop::IsMainThread() const {
  return std::this_thread::get_id() == MainThread_;
}

}  // namespace vantrel
