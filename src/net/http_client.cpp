#include "net/http_client.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "platform/clock.h"
#include "text/codings.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

// Every IPv6 literal has a colon; it is written in brackets wherever a port
// may follow.
std::string HostText(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

// A control character would end the line early and let the rest of it go
// out as another header, or as a request of its own. A header value may
// hold a tab; the request line may not.
bool HasControlCharacter(std::string_view line, bool tabAllowed) {
  return std::any_of(line.begin(), line.end(), [tabAllowed](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && !(tabAllowed && c == '\t')) || byte == 0x7F;
  });
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int32_t Clamped(std::uint64_t value) {
  return static_cast<std::int32_t>(std::min<std::uint64_t>(value, INT32_MAX));
}

}  // namespace

TxxHttp::TxxHttp() : Sock_(std::make_unique<TxxTcpSocket>()) {
  Timeout = kHttpDefaultTimeout;
  TargetPort = "80";
  Sock_->AcceptAnyLineEnd = true;
  Sock_->SetRecvBufferSize(kHttpSocketBufferSize);
  Sock_->SetSendBufferSize(kHttpSocketBufferSize);
}

TxxHttp::~TxxHttp() = default;

void TxxHttp::Reset() {
  Document.clear();
  Headers.clear();
  MimeType = "text/html";
  RangeStart = 0;
  RangeEnd = 0;
}

void TxxHttp::BuildRequestHead(std::string_view method, const TUrlParts& url, bool useProxy,
                               bool expectContinue) {
  // Each line goes on top of the ones before, so the block reads bottom-up
  // from here, above the caller's own lines.
  std::vector<std::string> head;
  const auto add = [&head](std::string line) { head.insert(head.begin(), std::move(line)); };
  if (expectContinue)
    add("Expect: 100-continue");
  if (!Document.empty()) {
    add("Content-Length: " + std::to_string(Document.size()));
    if (!MimeType.empty())
      add("Content-Type: " + MimeType);
  }
  if (!UserAgent.empty())
    add("User-Agent: " + UserAgent);
  if (RangeEnd > 0)
    add("Range: bytes=" + std::to_string(RangeStart) + "-" + std::to_string(RangeEnd));
  for (const std::string& cookie : Cookies)
    add("Cookie: " + cookie);
  if (!KeepAlive)
    add("Connection: Close");
  if (!url.User.empty())
    add("Authorization: Basic " + EncodeBase64(url.User + ":" + url.Password));
  if (useProxy && !ProxyUser.empty())
    add("Proxy-Authorization: Basic " + EncodeBase64(ProxyUser + ":" + ProxyPass));
  const std::string host = HostText(url.Host);
  add("Host: " + host + (url.Port == "80" ? "" : ":" + url.Port));
  // A URL typed with a blank still names its page.
  std::string target = ReplaceString(url.RequestTarget, " ", "%20");
  if (useProxy)
    target = url.Protocol + "://" + host + ":" + url.Port + target;
  if (target == "/*")
    target = "*";
  std::string requestLine = std::string(method) + " " + target;
  if (Protocol != "0.9")
    requestLine += " HTTP/" + Protocol;
  add(std::move(requestLine));
  Headers.insert(Headers.begin(), std::make_move_iterator(head.begin()),
                 std::make_move_iterator(head.end()));
  if (!Headers.back().empty())
    Headers.emplace_back();
}

bool TxxHttp::SafeRequestHead() const {
  // The head begins with the request line.
  return !HasControlCharacter(Headers.front(), false) &&
         std::none_of(Headers.begin() + 1, Headers.end(),
                      [](const std::string& line) { return HasControlCharacter(line, true); });
}

bool TxxHttp::OpenConnection(bool https) {
  bool rebuild = false;
  if (OpenHost_ == TargetHost && OpenPort_ == TargetPort) {
    // Readable now means the server closed or sent something unasked.
    const bool readable = Sock_->WaitReadable(0) || Sock_->LastError() != 0;
    if (Sock_->HandleValid() && !readable && Unread_.empty() && Sock_->PendingData().empty())
      return true;
    rebuild = true;
  }
  Unread_.clear();
  Sock_->Close();
  Sock_->Bind(IPInterface, "0");
  if (Sock_->LastError() == 0)
    Sock_->SetSslEnabled(https);
  if (Sock_->LastError() == 0)
    Sock_->Connect(TargetHost, TargetPort);
  if (Sock_->LastError() != 0) {
    OpenHost_.clear();
    OpenPort_.clear();
    return false;
  }
  if (!rebuild) {
    OpenHost_ = TargetHost;
    OpenPort_ = TargetPort;
  }
  return true;
}

std::int32_t TxxHttp::TimeLeft() const {
  if (Timeout < 0)
    return kNoTimeout;
  return static_cast<std::int32_t>(std::max<std::int64_t>(0, DeadlineMs_ - NowMs()));
}

bool TxxHttp::Send(std::string_view bytes) {
  Sock_->Timeout = TimeLeft();
  Sock_->WriteText(bytes);
  if (Sock_->LastError() == 0)
    return true;
  // Left open so that LastError tells why; the next request starts afresh.
  OpenHost_.clear();
  OpenPort_.clear();
  Unread_.clear();
  return false;
}

void TxxHttp::Receive(THttpResponseReader& reader) {
  while (!reader.Done() && !reader.ContinueReceived()) {
    if (!Unread_.empty()) {
      Unread_.erase(0, reader.Feed(Unread_));
      continue;
    }
    const std::int32_t wait = TimeLeft();
    if (wait == 0) {
      reader.End(kSockTimedOut);
      break;
    }
    std::string chunk = Sock_->ReadChunk(wait);
    if (Sock_->LastError() != 0) {
      reader.End(Sock_->LastError());
      break;
    }
    const std::size_t used = reader.Feed(chunk);
    if (used < chunk.size())
      Unread_.assign(chunk, used);
  }
}

void TxxHttp::CloseConnection() {
  // Whatever time is left bounds the TLS close notification.
  Sock_->Timeout = Timeout < 0 ? Timeout : std::min(Timeout, TimeLeft());
  Sock_->Close();
  Unread_.clear();
  OpenHost_.clear();
  OpenPort_.clear();
}

void TxxHttp::TakeCookies() {
  for (const std::string& line : Headers) {
    if (!StartsWithNoCase(line, "set-cookie:"))
      continue;
    const std::string pair = SeparateLeft(SeparateRight(line, ":"), ";");
    const std::string name = SeparateLeft(pair, "=");
    // Without an "=" SeparateRight gives the whole text: a bare name is its own value.
    const std::string value = SeparateRight(pair, "=");
    const auto same = std::find_if(Cookies.begin(), Cookies.end(), [&name](const std::string& c) {
      return c.compare(0, c.find('='), name) == 0;
    });
    if (value.empty()) {
      if (same != Cookies.end())
        Cookies.erase(same);
    } else if (same != Cookies.end()) {
      *same = name + "=" + value;
    } else {
      Cookies.push_back(name + "=" + value);
    }
  }
}

bool TxxHttp::Request(std::string_view method, std::string_view url) {
  ResultCode_ = 500;
  ResultString_.clear();
  ElapsedTime_ = -1;
  DownloadSize_ = 0;
  UploadSize_ = 0;
  ReadError_ = 0;
  BodyCapped_ = false;

  const TUrlParts parts = ParseURL(url);
  const bool https = UpperCase(parts.Protocol) == "HTTPS";
  Sock_->TunnelIP = https ? ProxyHost : std::string();
  Sock_->TunnelPort = https ? ProxyPort : std::string();
  Sock_->TunnelUser = https ? ProxyUser : std::string();
  Sock_->TunnelPass = https ? ProxyPass : std::string();
  const bool useProxy = !ProxyHost.empty() && !https;
  const std::string verb = UpperCase(method);
  const bool expectContinue = ExpectContinue && !Document.empty() && Protocol == "1.1";
  BuildRequestHead(verb, parts, useProxy, expectContinue);
  if (!SafeRequestHead()) {
    Sock_->SetLastError(kSockInvalidArgument);
    return false;
  }

  TargetHost = useProxy ? ProxyHost : parts.Host;
  TargetPort = useProxy ? ProxyPort : parts.Port;
  Sock_->Timeout = Timeout;
  if (!OpenConnection(https))
    return false;

  // The exchange starts here: resolving, connecting and the TLS handshake
  // are not part of the elapsed time, nor of the deadline.
  const std::uint32_t started = SystemClock().Tick();
  DeadlineMs_ = NowMs() + std::max(Timeout, 0);

  std::string text;
  if (Protocol == "0.9") {
    text = Headers.front() + "\r\n";
  } else {
    for (const std::string& line : Headers)
      text += line + "\r\n";
  }
  if (!Send(text))
    return false;

  THttpResponseReader reader({.Head = verb == "HEAD", .ExpectContinue = expectContinue});
  if (expectContinue)
    Receive(reader);  // the interim answer, or the final one instead
  if (!Document.empty() && (!expectContinue || reader.ContinueReceived())) {
    UploadSize_ = static_cast<std::int32_t>(Document.size());
    if (!Send(Document))
      return false;
  }
  reader.Resume();
  Reset();
  BodyMode_ = THttpBodyMode::UntilClose;
  Receive(reader);

  ElapsedTime_ = static_cast<std::int32_t>(TickDelta(started, SystemClock().Tick()));
  Headers = std::move(reader.Headers());
  Document = std::move(reader.Body());
  ResultCode_ = reader.ResultCode();
  ResultString_ = reader.ResultString();
  if (reader.ContentType())
    MimeType = *reader.ContentType();
  BodyMode_ = reader.BodyMode();
  if (const auto length = reader.LastPartLength())
    DownloadSize_ = Clamped(*length);
  ReadError_ = reader.EndError();
  BodyCapped_ = reader.BodyCapped();

  // A connection left in an unknown state (cut short, capped, unasked bytes)
  // is never reused.
  const bool closeAfter = Protocol != "1.1" || reader.ConnectionClose();
  if (closeAfter || ReadError_ != 0 || BodyCapped_ || !Unread_.empty())
    CloseConnection();
  TakeCookies();
  return true;
}

}  // namespace vantrel
