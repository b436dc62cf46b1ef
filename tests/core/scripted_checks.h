#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/check_request.h"
#include "core/check_runner.h"
#include "core/response_codes.h"

namespace vantrel::test {

// Stand-in checks whose results the test scripts per host, and which can be
// held in Run until the test releases them. Thread-safe.
class TScriptedChecks {
 public:
  // A forgotten hold ends after this much real time: the test fails, not hangs.
  static constexpr std::chrono::seconds kHoldLimit{20};

  // The result of the next check of `host`; by default success, 200 in 100 ms.
  void Script(const std::string& host, TCheckResult result) {
    std::lock_guard lock(Mutex_);
    Scripted_[host].push_back(std::move(result));
  }

  // Checks of `host` wait in Run until Release (or Cancel).
  void Hold(const std::string& host) {
    std::lock_guard lock(Mutex_);
    Held_.insert(host);
  }
  void Release(const std::string& host) {
    std::lock_guard lock(Mutex_);
    Held_.erase(host);
    Changed_.notify_all();
  }
  void ReleaseAll() {
    std::lock_guard lock(Mutex_);
    Held_.clear();
    Changed_.notify_all();
  }

  // Checks waiting in Run that only a Release or a Cancel lets go on.
  std::size_t Waiting() const {
    std::lock_guard lock(Mutex_);
    std::size_t waiting = 0;
    for (const TWait* wait : Waits_)
      waiting += Blocked(*wait) ? 1 : 0;
    return waiting;
  }

  // In the order Run was entered.
  std::vector<TCheckRequest> Requests() const {
    std::lock_guard lock(Mutex_);
    return Requests_;
  }
  std::vector<std::string> Hosts() const {
    std::vector<std::string> hosts;
    for (const TCheckRequest& request : Requests())
      hosts.push_back(request.Host);
    return hosts;
  }
  std::size_t RunsEnded() const {
    std::lock_guard lock(Mutex_);
    return RunsEnded_;
  }
  std::size_t CancelledRuns() const {
    std::lock_guard lock(Mutex_);
    return CancelledRuns_;
  }
  bool HoldTimedOut() const {
    std::lock_guard lock(Mutex_);
    return HoldTimedOut_;
  }

  // Runs `loop`'s main-thread work until each of the `checkers()` checkers has
  // ended or is held in its check; time does not move. False after kHoldLimit.
  template <class TLoop, class TCount>
  bool Settle(TLoop& loop, TCount checkers) const {
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + kHoldLimit;
    for (;;) {
      loop.RunPending();
      if (checkers() == Waiting() && loop.PendingTasks() == 0)
        return true;
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      static_cast<void>(loop.WaitForPending(1ms));  // looked at again either way
    }
  }

  // On the main thread, between a check's scheduling and its preparation.
  std::function<void()> OnCreate;

  TCheckRunnerFactory Factory() {
    return [this]() -> std::unique_ptr<TCheckRunner> {
      if (OnCreate)
        OnCreate();
      return std::make_unique<TRunner>(*this);
    };
  }

 private:
  class TRunner final : public TCheckRunner {
   public:
    explicit TRunner(TScriptedChecks& checks) : Checks_(checks) {}
    TCheckResult Run(const TCheckRequest& request) override { return Checks_.Run(request, *this); }
    void Cancel() override {
      std::lock_guard lock(Checks_.Mutex_);
      Cancelled_ = true;
      Checks_.Changed_.notify_all();
    }

    TScriptedChecks& Checks_;
    bool Cancelled_ = false;  // under Checks_.Mutex_
  };

  struct TWait {
    std::string Host;
    const TRunner* Runner;
  };

  bool Blocked(const TWait& wait) const {
    return Held_.count(wait.Host) != 0 && !wait.Runner->Cancelled_;
  }

  TCheckResult Run(const TCheckRequest& request, const TRunner& runner) {
    std::unique_lock lock(Mutex_);
    Requests_.push_back(request);
    TCheckResult result{true, 100, kResponseOk, "ok"};
    std::deque<TCheckResult>& scripted = Scripted_[request.Host];
    if (!scripted.empty()) {
      result = scripted.front();
      scripted.pop_front();
    }
    TWait wait{request.Host, &runner};
    Waits_.insert(&wait);
    if (!Changed_.wait_for(lock, kHoldLimit, [&] { return !Blocked(wait); }))
      HoldTimedOut_ = true;
    Waits_.erase(&wait);
    if (runner.Cancelled_) {
      ++CancelledRuns_;
      result = TCheckResult{};
    }
    ++RunsEnded_;
    return result;
  }

  mutable std::mutex Mutex_;
  std::condition_variable Changed_;
  std::map<std::string, std::deque<TCheckResult>> Scripted_;
  std::set<std::string> Held_;
  std::set<const TWait*> Waits_;
  std::vector<TCheckRequest> Requests_;
  std::size_t RunsEnded_ = 0;
  std::size_t CancelledRuns_ = 0;
  bool HoldTimedOut_ = false;
};

}  // namespace vantrel::test
