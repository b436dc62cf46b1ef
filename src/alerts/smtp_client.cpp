#include "alerts/smtp_client.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "text/codings.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

// A line break inside a command would end it early and let the rest go out
// as a command of its own (a recipient smuggling in another one).
bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// The number of the whole text; nothing when it is not one.
std::optional<std::int32_t> Number(std::string_view text) {
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

std::int32_t ReplyCode(std::string_view line) {
  if (line.size() < 3 ||
      !std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  return *Number(line.substr(0, 3));
}

// "250-SIZE 1000" continues the reply; a dash earlier in the line does not
// make one.
bool IsContinuation(std::string_view line) {
  return line.find('-') == 3;
}

bool IsPositive(std::int32_t code) {
  return code >= 250 && code <= 259;
}

}  // namespace

TSmtpServer SplitSmtpServer(std::string_view targetHost, std::string_view targetPort) {
  TSmtpServer server{std::string(targetHost), std::string(targetPort)};
  if (targetHost.starts_with('[')) {
    const std::size_t close = targetHost.find(']');
    if (close == std::string_view::npos)
      return server;
    server.Host = std::string(targetHost.substr(1, close - 1));
    const std::string_view rest = targetHost.substr(close + 1);
    if (rest.size() > 1 && rest.front() == ':')
      server.Port = std::string(rest.substr(1));
    return server;
  }
  // Two colons or more: an IPv6 literal without a port.
  const std::size_t colon = targetHost.find(':');
  if (colon != std::string_view::npos &&
      targetHost.find(':', colon + 1) == std::string_view::npos && colon + 1 < targetHost.size()) {
    server.Host = std::string(targetHost.substr(0, colon));
    server.Port = std::string(targetHost.substr(colon + 1));
  }
  return server;
}

std::vector<std::string> SplitMessageLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

TxxSmtp::TxxSmtp() : Sock_(std::make_unique<TxxTcpSocket>()) {
  TargetPort = "smtp";
  Timeout = kSmtpDefaultTimeout;
  Sock_->AcceptAnyLineEnd = true;
  FQDN = Sock_->LocalHostName();
}

TxxSmtp::~TxxSmtp() = default;

void TxxSmtp::ClearResult() {
  ResultCode_ = 0;
  ResultString_.clear();
  FullResult_.clear();
}

std::int32_t TxxSmtp::ReadResult() {
  FullResult_.clear();
  do {
    // A reply that never ends would fill the memory line by line: past any
    // real reply's length the connection is given up.
    if (FullResult_.size() == kMaxReplyLines) {
      Sock_->Close();
      Sock_->SetLastError(kSockMessageTooLong);
      ResultCode_ = 0;
      return 0;
    }
    // Bounds the whole line, so a server dripping bytes cannot stretch it.
    ResultString_ = Sock_->ReadLineWithin(Timeout);
    FullResult_.push_back(ResultString_);
  } while (Sock_->LastError() == 0 && IsContinuation(ResultString_));
  ResultCode_ = ReplyCode(FullResult_.front());
  return ResultCode_;
}

std::int32_t TxxSmtp::Command(std::string_view line) {
  if (HasLineBreak(line)) {
    ClearResult();
    Sock_->SetLastError(kSockInvalidArgument);
    return 0;
  }
  Sock_->WriteText(std::string(line) + "\r\n");
  if (Sock_->LastError() != 0) {
    ClearResult();
    return 0;
  }
  return ReadResult();
}

std::string TxxSmtp::FindCap(std::string_view name) const {
  const auto found =
      std::find_if(ESMTPcap_.begin(), ESMTPcap_.end(),
                   [name](const std::string& line) { return StartsWithNoCase(line, name); });
  return found != ESMTPcap_.end() ? *found : std::string();
}

bool TxxSmtp::Greet() {
  ESMTP_ = true;
  ESMTPcap_.clear();
  if (IsPositive(Command("EHLO " + FQDN))) {
    for (std::size_t i = 1; i < FullResult_.size(); ++i)
      ESMTPcap_.push_back(FullResult_[i].substr(std::min<std::size_t>(4, FullResult_[i].size())));
    return true;
  }
  ESMTP_ = false;
  return IsPositive(Command("HELO " + FQDN));
}

bool TxxSmtp::StartTls() {
  if (Command("STARTTLS") != 220)
    return false;
  // The TLS server name is the host given to Connect, unless it is an address
  // literal; switching TLS on drops any plain bytes that came after the 220.
  Sock_->SslConnect();
  if (Sock_->LastError() != 0)
    return false;
  // What the server said in the clear is forgotten; only the EHLO over TLS counts.
  return Greet() && ESMTP_;
}

bool TxxSmtp::Login() {
  ESMTP_ = true;
  AuthDone_ = false;
  ESMTPSize_ = false;
  MaxSize_ = 0;
  ESMTPcap_.clear();
  ClearResult();

  const TSmtpServer server = SplitSmtpServer(TargetHost, TargetPort);
  const bool implicitTls = ImplicitTls || Sock_->ResolvePort(server.Port) == kSmtpImplicitTlsPort;
  // Connecting, the TLS handshake and each send are bounded like a reply.
  Sock_->Timeout = Timeout;
  Sock_->Close();
  Sock_->Bind(IPInterface, "0");
  if (Sock_->LastError() == 0)
    Sock_->SetSslEnabled(implicitTls);
  if (Sock_->LastError() == 0)
    Sock_->Connect(server.Host, server.Port);
  if (Sock_->LastError() != 0)
    return false;
  if (ReadResult() != 220 || !Greet())
    return false;
  if (!ESMTP_)
    return true;

  // A server that offers STARTTLS is never given credentials or the message
  // in the clear: when the upgrade fails, so does Login, since anyone on the
  // path can make it fail (refuse it, break the handshake) to read what follows.
  const bool offersTls = std::any_of(ESMTPcap_.begin(), ESMTPcap_.end(), [](const auto& line) {
    return UpperCase(line) == "STARTTLS";
  });
  if (!Sock_->SslEnabled() && offersTls && !StartTls())
    return false;

  if (!Username.empty() || !Password.empty()) {
    std::string mechanisms = UpperCase(FindCap("AUTH "));
    if (mechanisms.empty())
      mechanisms = UpperCase(FindCap("AUTH="));
    if (mechanisms.find("CRAM-MD5") != std::string::npos)
      AuthDone_ = AuthCramMd5();
    if (!AuthDone_ && mechanisms.find("LOGIN") != std::string::npos)
      AuthDone_ = AuthLogin();
  }
  const std::string size = FindCap("SIZE");
  if (!size.empty()) {
    ESMTPSize_ = true;
    MaxSize_ = size.size() > 5 ? Number(std::string_view(size).substr(5)).value_or(0) : 0;
  }
  return true;
}

bool TxxSmtp::AuthCramMd5() {
  if (Command("AUTH CRAM-MD5") != 334)
    return false;
  const std::string challenge =
      DecodeBase64(ResultString_.size() > 4 ? std::string_view(ResultString_).substr(4) : "");
  return Command(EncodeBase64(Username + " " + HMAC_MD5(challenge, Password))) == 235;
}

bool TxxSmtp::AuthLogin() {
  return Command("AUTH LOGIN") == 334 && Command(EncodeBase64(Username)) == 334 &&
         Command(EncodeBase64(Password)) == 235;
}

bool TxxSmtp::MailFrom(std::string_view address, std::int32_t size) {
  std::string command = "MAIL FROM:";
  if (address.find('<') != std::string_view::npos && address.find('>') != std::string_view::npos)
    command += address;
  else
    command += "<" + std::string(address) + ">";
  if (ESMTPSize_ && size >= 1)
    command += " SIZE=" + std::to_string(size);
  return Command(command) == 250;
}

bool TxxSmtp::RcptTo(std::string_view address) {
  return Command("RCPT TO:<" + std::string(address) + ">") == 250;
}

bool TxxSmtp::DataString(std::string_view text) {
  return Data(SplitMessageLines(text));
}

bool TxxSmtp::Data(const std::vector<std::string>& lines) {
  if (Command("DATA") != 354)
    return false;
  std::string body;
  const auto add = [&body](std::string_view line) {
    if (line.starts_with('.'))
      body += '.';
    body.append(line);
    body += "\r\n";
  };
  for (const std::string& line : lines) {
    if (!HasLineBreak(line)) {
      add(line);
      continue;
    }
    for (const std::string& part : SplitMessageLines(line))
      add(part);
  }
  body += ".\r\n";
  Sock_->WriteText(body);
  if (Sock_->LastError() != 0) {
    ClearResult();
    return false;
  }
  return ReadResult() == 250;
}

void TxxSmtp::Logout() {
  Command("QUIT");
  Sock_->Close();
}

}  // namespace vantrel
