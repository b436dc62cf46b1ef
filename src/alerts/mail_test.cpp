#include "alerts/mail_test.h"

#include "alerts/smtp_client.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

// Lets `cancel` abort the client while it is in use; released before the
// client goes.
class TAbortWhileInUse {
 public:
  TAbortWhileInUse(TMailCancel* cancel, TxxSmtp& smtp) : Cancel_(cancel) {
    if (Cancel_ != nullptr)
      Cancel_->SetAbort([&smtp] { smtp.Abort(); });
  }
  ~TAbortWhileInUse() {
    if (Cancel_ != nullptr)
      Cancel_->ClearAbort();
  }
  TAbortWhileInUse(const TAbortWhileInUse&) = delete;
  TAbortWhileInUse& operator=(const TAbortWhileInUse&) = delete;

 private:
  TMailCancel* Cancel_;
};

}  // namespace

bool RunMailTest(const TMailTestSettings& settings, TTestOutput& output, TMailCancel* cancel) {
  output.AddLine("Start testing");
  const std::string address = std::string(TrimSpaces(settings.Address));
  const std::string sender =
      std::string(TrimSpaces(std::string(TrimSpaces(settings.Username)) + " <" + address + ">"));
  const std::string message = "From: " + sender + "\r\nTo: " + sender +
                              "\r\nSubject: Test Message\r\n\r\nThis is a test message";
  TxxSmtp smtp;
  smtp.TargetHost = std::string(TrimSpaces(settings.Server));
  smtp.Timeout = settings.Timeout;
  if (settings.ServerAuth) {
    smtp.Username = settings.Account;
    smtp.Password = settings.Password;
  }
  const TAbortWhileInUse abortable(cancel, smtp);
  // Each step's label is shown before it runs: a slow server shows where.
  const auto step = [&output](const char* label, const auto& run) {
    output.AddLine(label);
    const bool ok = run();
    output.AppendToLine(ok ? "Success" : "Failure");
    return ok;
  };
  const bool credentials = !smtp.Username.empty() || !smtp.Password.empty();
  bool passed =
      step("Logining: ", [&] { return smtp.Login() && (!credentials || smtp.AuthDone()); });
  passed = passed && step("Sending sender info: ", [&] {
             return smtp.MailFrom(address, static_cast<std::int32_t>(message.size()));
           });
  passed = passed && step("Sending recipients info: ", [&] { return smtp.RcptTo(address); });
  passed = passed && step("Sending message: ", [&] { return smtp.DataString(message); });
  if (passed) {
    step("Logout: ", [&] {
      smtp.Logout();
      return true;
    });
  }
  output.AddLine("");
  output.AddLine(passed ? "Test finished successfully." : "Test failed.");
  return passed;
}

}  // namespace vantrel
