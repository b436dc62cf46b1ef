#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alerts/mail_job.h"
#include "platform/main_loop.h"

namespace vantrel {

// Lets the owner of a mail on its way cut the connection short: the delivery
// registers how to abort its client while it talks to the server.
class TMailCancel {
 public:
  // Any thread. Runs `abort` at once when already cancelled.
  void SetAbort(std::function<void()> abort);
  void ClearAbort();
  void Cancel();
  bool Cancelled() const;

 private:
  mutable std::mutex Mutex_;
  std::function<void()> Abort_;
  bool Cancelled_ = false;
};

// How one mail went: empty when delivered, else what to report (the
// recipients and the server's last reply, or the socket's error).
using TMailDeliver = std::function<std::string(const TMailJob& job, TMailCancel& cancel)>;

// Sends every alarm mail on a thread of its own with copies of its texts, and
// reports each failed one, on the main thread, through `reportFailure`. At
// destruction (main thread) the mails still on their way get `graceMs` in all
// to finish, then are cancelled: a stop never hangs on a mail server. Their
// failures are reported before the destructor returns.
class TMailSenders final : public TMailQueue {
 public:
  TMailSenders(TMainLoop& loop, std::function<void(const std::string&)> reportFailure,
               TMailDeliver deliver, std::uint32_t graceMs = 1500);
  ~TMailSenders() override;
  TMailSenders(const TMailSenders&) = delete;
  TMailSenders& operator=(const TMailSenders&) = delete;

  void Send(TMailJob job) override;
  // Mails not yet finished.
  std::size_t Running() const;

 private:
  struct TSender {
    std::thread Thread;
    TMailCancel Cancel;
    bool Done = false;
  };
  // State the posted reports reach, which may run after this object is gone.
  struct TShared {
    std::mutex Mutex;
    std::condition_variable Finished;
    std::vector<std::string> Failures;
    bool Alive = true;
  };

  // Main thread: reports the failures collected so far.
  void ReportFailures();
  // Joins the senders that have finished.
  void JoinFinished();

  TMainLoop& Loop_;
  std::function<void(const std::string&)> ReportFailure_;
  TMailDeliver Deliver_;
  std::uint32_t GraceMs_;
  std::shared_ptr<TShared> Shared_;
  std::list<TSender> Senders_;
};

}  // namespace vantrel
