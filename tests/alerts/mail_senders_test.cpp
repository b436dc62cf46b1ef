// Alarm mails on their own threads: failures come back to the main thread,
// and a stop waits a little, then cuts the rest short.

#include "alerts/mail_senders.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/manual_main_loop.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;

TMailJob To(const std::string& recipients) {
  TMailJob job;
  job.Recipients = recipients;
  return job;
}

TEST(MailSendersTest, FailuresReachTheMainThreadAndAStopCancelsWhatIsStillSending) {
  TManualClock clock;
  TManualMainLoop loop(clock);
  std::vector<std::string> reports;
  // A mail to "hang" waits for its server until it is cancelled.
  const TMailDeliver deliver = [](const TMailJob& job, TMailCancel& cancel) -> std::string {
    if (job.Recipients != "hang")
      return job.Recipients == "ok" ? "" : "Mail to " + job.Recipients + " failed";
    std::mutex mutex;
    std::condition_variable aborted;
    bool done = false;
    cancel.SetAbort([&] {
      std::lock_guard lock(mutex);
      done = true;
      aborted.notify_all();
    });
    std::unique_lock lock(mutex);
    aborted.wait(lock, [&] { return done; });
    cancel.ClearAbort();
    return "Mail to hang cancelled";
  };
  {
    TMailSenders senders(
        loop, [&](const std::string& report) { reports.push_back(report); }, deliver, 0);
    senders.Send(To("ok"));
    senders.Send(To("bad"));
    while (reports.empty()) {
      ASSERT_TRUE(loop.WaitForPending(10s));
      loop.RunPending();
    }
    EXPECT_EQ(reports, std::vector<std::string>{"Mail to bad failed"});
    senders.Send(To("hang"));
    EXPECT_GE(senders.Running(), 1u);
  }
  // The stop did not wait for the server and still told about the mail.
  EXPECT_EQ(reports.back(), "Mail to hang cancelled");
  loop.RunPending();  // a report posted before the stop does not come twice
  EXPECT_EQ(reports.size(), 2u);
}

}  // namespace
}  // namespace vantrel
