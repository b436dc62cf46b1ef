#pragma once

// The SMTP client of the alarm mail: delivers one finished message to the
// user's mail server. The mail sender thread drives it: Login, MailFrom,
// RcptTo for each recipient, DataString, Logout. Commands are strictly
// sequential; every operation reports true or false, the last reply stays in
// ResultCode, ResultString and FullResult, and socket failures in
// Sock().LastError(). Nothing throws and nothing is retried.
//
// Beyond plain SMTP with EHLO, AUTH (CRAM-MD5, LOGIN) and SIZE, the client
// upgrades to TLS when the server offers STARTTLS, and speaks TLS from the
// first byte on port 465 or when ImplicitTls is set. Certificates are not
// checked, as everywhere in this program.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/client_socket.h"
#include "net/tcp_socket.h"

namespace vantrel {

// The client's default wait for each reply line (milliseconds).
inline constexpr std::int32_t kSmtpDefaultTimeout = 60000;
// The most lines one reply may have (an EHLO reply has a few dozen).
inline constexpr std::size_t kMaxReplyLines = 1000;
// The submission port whose servers speak TLS from the first byte.
inline constexpr int kSmtpImplicitTlsPort = 465;

// Where a mail server is reached: TargetHost may carry its own port
// ("mail.example:2525", "[::1]:2525"), which then wins over TargetPort. A
// bare IPv6 literal ("::1") has no port in it.
struct TSmtpServer {
  std::string Host;
  std::string Port;
};
TSmtpServer SplitSmtpServer(std::string_view targetHost, std::string_view targetPort);

// Splits a message text into lines at CR LF, lone LF or lone CR; a break at
// the very end adds no empty line.
std::vector<std::string> SplitMessageLines(std::string_view text);

class TxxSmtp : public TxxClientSocket {
 public:
  TxxSmtp();
  ~TxxSmtp() override;

  // Sent with EHLO and HELO; the machine's name as the socket layer reports it.
  std::string FQDN;
  // Credentials; both empty means no authentication.
  std::string Username;
  std::string Password;
  // Speak TLS from the first byte whatever the port (port 465 always does).
  bool ImplicitTls = false;

  // Connects, reads the 220 greeting, greets with EHLO (HELO when EHLO is
  // refused), upgrades to TLS when STARTTLS is offered, learns the
  // capabilities and authenticates when credentials are set. False when the
  // connection, the greeting, HELO or the offered TLS upgrade failed; once
  // greeted, a failed authentication still returns true (AuthDone tells).
  [[nodiscard]] bool Login();
  // MAIL FROM, with SIZE= when the server announced SIZE and `size` >= 1. An
  // address holding "<" and ">" is sent unchanged. True only on 250.
  [[nodiscard]] bool MailFrom(std::string_view address, std::int32_t size);
  // RCPT TO; true only on 250 (a 251 counts as failure).
  [[nodiscard]] bool RcptTo(std::string_view address);
  // Data of the lines of `text` (SplitMessageLines).
  [[nodiscard]] bool DataString(std::string_view text);
  // DATA, the lines with dot-stuffing, the closing dot; true only when DATA
  // got 354 and the message 250. A line holding line breaks is sent as the
  // lines it holds, so that none of them can end the message early.
  [[nodiscard]] bool Data(const std::vector<std::string>& lines);
  // QUIT, whatever the reply, then closes the connection.
  void Logout();
  // The first capability line that begins with `name` (without regard to
  // case); empty when none.
  std::string FindCap(std::string_view name) const;
  // Reads one reply with its continuation lines; its code (0 when none). A
  // reply longer than kMaxReplyLines closes the connection
  // (kSockMessageTooLong).
  std::int32_t ReadResult();

  std::int32_t ResultCode() const { return ResultCode_; }
  // The last line of the last reply.
  const std::string& ResultString() const { return ResultString_; }
  const std::vector<std::string>& FullResult() const { return FullResult_; }
  // The capability lines of the last EHLO reply, without their "250-".
  const std::vector<std::string>& ESMTPcap() const { return ESMTPcap_; }
  bool ESMTP() const { return ESMTP_; }
  bool ESMTPSize() const { return ESMTPSize_; }
  bool AuthDone() const { return AuthDone_; }
  std::int32_t MaxSize() const { return MaxSize_; }
  TxxTcpSocket& Sock() { return *Sock_; }

 protected:
  TxxBlockSocket& Socket() override { return *Sock_; }

 private:
  // Sends one command line and reads the reply; its code. A command holding
  // CR or LF is not sent (0, kSockInvalidArgument).
  std::int32_t Command(std::string_view line);
  // EHLO with its capabilities, or HELO when EHLO is refused.
  bool Greet();
  // STARTTLS, the handshake, and the greeting again over TLS.
  bool StartTls();
  bool AuthCramMd5();
  bool AuthLogin();
  void ClearResult();

  std::unique_ptr<TxxTcpSocket> Sock_;
  std::int32_t ResultCode_ = 0;
  std::string ResultString_;
  std::vector<std::string> FullResult_;
  std::vector<std::string> ESMTPcap_;
  bool ESMTP_ = false;
  bool ESMTPSize_ = false;
  bool AuthDone_ = false;
  std::int32_t MaxSize_ = 0;
};

}  // namespace vantrel
