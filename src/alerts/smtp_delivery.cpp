#include "alerts/smtp_delivery.h"

#include <limits>

#include "alerts/mime_message.h"
#include "alerts/recipients.h"
#include "alerts/smtp_client.h"
#include "net/socket_errors.h"
#include "text/escape.h"

namespace vantrel {

namespace {

// Why the dialogue stopped: the server's words when it said any, else the
// socket's.
std::string Reason(TxxSmtp& smtp) {
  if (smtp.ResultCode() != 0)
    return "the server answered \"" + EscapeControls(smtp.ResultString()) + "\"";
  const std::int32_t error = smtp.Sock().LastError();
  return error != 0 ? GetErrorDesc(error) + " (" + std::to_string(error) + ")"
                    : "no answer from the server";
}

}  // namespace

std::string ComposeAlarmMail(const TMailJob& job) {
  TxxMessage message;
  message.Header.From = job.From;
  message.Header.FromName = job.FromName;
  message.Header.ToList = SplitRecipients(job.Recipients);
  message.Header.Subject = job.Subject;
  message.Header.Organization = job.Organization;
  const std::vector<std::string> lines = SplitMessageLines(job.Body);
  if (job.IsHtml)
    message.SetHtmlBody(lines);
  else
    message.SetTextBody(lines);
  message.EncodeMessage();
  return message.Text();
}

std::string DeliverBySmtp(const TMailJob& job, TMailCancel& cancel) {
  const std::string text = ComposeAlarmMail(job);
  TxxSmtp smtp;
  smtp.TargetHost = job.Host;
  smtp.Username = job.Username;
  smtp.Password = job.Password;
  cancel.SetAbort([&smtp] { smtp.Abort(); });
  const std::string failure = [&]() -> std::string {
    const std::string prefix = "Mail to " + EscapeControls(job.Recipients) + " via " +
                               EscapeControls(job.Host) + " failed: ";
    if (!smtp.Login())
      return prefix + Reason(smtp);
    std::string result;
    const auto size = text.size() > std::numeric_limits<std::int32_t>::max()
                          ? 0
                          : static_cast<std::int32_t>(text.size());
    if (!smtp.MailFrom(job.From, size)) {
      result = prefix + Reason(smtp);
    } else {
      for (const std::string& recipient : SplitRecipients(job.Recipients)) {
        if (!smtp.RcptTo(recipient)) {
          result = prefix + "recipient " + EscapeControls(recipient) + " refused, " + Reason(smtp);
          break;
        }
      }
      if (result.empty() && !smtp.DataString(text))
        result = prefix + Reason(smtp);
    }
    smtp.Logout();
    return result;
  }();
  cancel.ClearAbort();
  return failure;
}

}  // namespace vantrel
