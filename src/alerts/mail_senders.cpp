#include "alerts/mail_senders.h"

#include <chrono>
#include <exception>

namespace vantrel {

void TMailCancel::SetAbort(std::function<void()> abort) {
  std::lock_guard lock(Mutex_);
  if (Cancelled_) {
    abort();
    return;
  }
  Abort_ = std::move(abort);
}

void TMailCancel::ClearAbort() {
  std::lock_guard lock(Mutex_);
  Abort_ = nullptr;
}

void TMailCancel::Cancel() {
  std::lock_guard lock(Mutex_);
  Cancelled_ = true;
  if (Abort_)
    Abort_();
}

bool TMailCancel::Cancelled() const {
  std::lock_guard lock(Mutex_);
  return Cancelled_;
}

TMailSenders::TMailSenders(TMainLoop& loop, std::function<void(const std::string&)> reportFailure,
                           TMailDeliver deliver, std::uint32_t graceMs)
    : Loop_(loop),
      ReportFailure_(std::move(reportFailure)),
      Deliver_(std::move(deliver)),
      GraceMs_(graceMs),
      Shared_(std::make_shared<TShared>()) {}

TMailSenders::~TMailSenders() {
  {
    std::unique_lock lock(Shared_->Mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(GraceMs_);
    Shared_->Finished.wait_until(lock, deadline, [this] {
      for (const TSender& sender : Senders_) {
        if (!sender.Done)
          return false;
      }
      return true;
    });
    Shared_->Alive = false;
  }
  for (TSender& sender : Senders_)
    sender.Cancel.Cancel();
  for (TSender& sender : Senders_)
    sender.Thread.join();
  ReportFailures();
}

void TMailSenders::Send(TMailJob job) {
  JoinFinished();
  TSender& sender = Senders_.emplace_back();
  const std::shared_ptr<TShared> shared = Shared_;
  TMainLoop& loop = Loop_;
  sender.Thread = std::thread([this, &sender, shared, &loop, job = std::move(job)] {
    std::string failure;
    try {
      failure = Deliver_(job, sender.Cancel);
    } catch (const std::exception& e) {
      failure = "Mail to " + job.Recipients + " failed: " + e.what();
    }
    std::lock_guard lock(shared->Mutex);
    sender.Done = true;
    if (!failure.empty()) {
      shared->Failures.push_back(std::move(failure));
      // The report runs on the main thread, if this object still exists
      // then; otherwise its destructor has reported it.
      if (shared->Alive) {
        loop.Post([this, weak = std::weak_ptr<TShared>(shared)] {
          const std::shared_ptr<TShared> alive = weak.lock();
          bool report = false;
          if (alive) {
            std::lock_guard guard(alive->Mutex);
            report = alive->Alive;
          }
          if (report)
            ReportFailures();
        });
      }
    }
    shared->Finished.notify_all();
  });
}

std::size_t TMailSenders::Running() const {
  std::lock_guard lock(Shared_->Mutex);
  std::size_t running = 0;
  for (const TSender& sender : Senders_)
    running += sender.Done ? 0 : 1;
  return running;
}

void TMailSenders::ReportFailures() {
  std::vector<std::string> failures;
  {
    std::lock_guard lock(Shared_->Mutex);
    failures.swap(Shared_->Failures);
  }
  for (const std::string& failure : failures)
    ReportFailure_(failure);
}

void TMailSenders::JoinFinished() {
  for (auto it = Senders_.begin(); it != Senders_.end();) {
    bool done = false;
    {
      std::lock_guard lock(Shared_->Mutex);
      done = it->Done;
    }
    if (done) {
      it->Thread.join();
      it = Senders_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace vantrel
