#pragma once

#include <string>

#include "alerts/mail_senders.h"

namespace vantrel {

// Sends one alarm mail through its SMTP server, on the calling (sender)
// thread: the message is composed from the job's texts, then Login, MailFrom,
// RcptTo for each recipient (stopping at the first refusal), the message, and
// Logout after a successful Login. Empty when delivered; otherwise the line
// to report: the recipients and the server's last reply, or the socket error.
std::string DeliverBySmtp(const TMailJob& job, TMailCancel& cancel);

// The composed message text of `job` (header, empty line, body; CR LF).
std::string ComposeAlarmMail(const TMailJob& job);

}  // namespace vantrel
