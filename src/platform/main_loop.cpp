#include "platform/main_loop.h"

#include <condition_variable>
#include <exception>
#include <list>
#include <mutex>
#include <utility>

namespace vantrel {

namespace {

struct TCallState {
  enum class TStage { Pending, Running, Done };
  TStage Stage = TStage::Pending;
  std::exception_ptr Error;
  // Each call has its own: with hundreds of workers waiting, one shared
  // wake-up would rouse them all at every step the main thread ends.
  std::condition_variable Released;
};

}  // namespace

struct TSynchronizeGate::TShared {
  std::mutex Mutex;
  bool ShuttingDown = false;
  std::list<TCallState*> Waiting;  // the calls to release at shutdown
};

TSynchronizeGate::TSynchronizeGate() : Shared_(std::make_shared<TShared>()) {}

bool TSynchronizeGate::Call(TMainLoop::TTask task, const TDeliver& deliver) {
  using TStage = TCallState::TStage;
  const std::shared_ptr<TShared> shared = Shared_;
  {
    std::lock_guard lock(shared->Mutex);
    if (shared->ShuttingDown)
      return false;
  }
  auto state = std::make_shared<TCallState>();
  deliver([shared, state, task = std::move(task)] {
    {
      std::lock_guard lock(shared->Mutex);
      // After shutdown the worker has been (or is about to be) told the task did
      // not run; running it now could touch what the worker has freed since.
      if (shared->ShuttingDown || state->Stage != TStage::Pending)
        return;
      state->Stage = TStage::Running;
    }
    try {
      task();
    } catch (...) {
      state->Error = std::current_exception();
    }
    std::lock_guard lock(shared->Mutex);
    state->Stage = TStage::Done;
    state->Released.notify_one();
  });

  std::unique_lock lock(shared->Mutex);
  const auto waiting = shared->Waiting.insert(shared->Waiting.end(), state.get());
  // A task that has begun is waited for even during shutdown: it works on the
  // worker's own data, which must stay alive until it ends.
  state->Released.wait(lock, [&] {
    return state->Stage == TStage::Done ||
           (shared->ShuttingDown && state->Stage == TStage::Pending);
  });
  shared->Waiting.erase(waiting);
  if (state->Stage != TStage::Done)
    return false;
  if (state->Error)
    std::rethrow_exception(state->Error);
  return true;
}

void TSynchronizeGate::Shutdown() {
  std::lock_guard lock(Shared_->Mutex);
  Shared_->ShuttingDown = true;
  for (TCallState* waiting : Shared_->Waiting)
    waiting->Released.notify_one();
}

bool TSynchronizeGate::ShuttingDown() const {
  std::lock_guard lock(Shared_->Mutex);
  return Shared_->ShuttingDown;
}

}  // namespace vantrel
