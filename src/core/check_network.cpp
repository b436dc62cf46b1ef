#include "core/check_network.h"

#include <utility>

#include "net/http_client.h"
#include "net/ping.h"
#include "net/tcp_socket.h"
#include "platform/clock.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

// The client as the checks and the connection test set it up.
void PrepareHttp(TxxHttp& http, const TProxyChoice& proxy) {
  http.Reset();
  http.ProxyHost = proxy.Host;
  http.ProxyPort = proxy.Port;
  http.ProxyUser = proxy.User;
  http.ProxyPass = proxy.Pass;
  http.UserAgent = kCheckUserAgent;
  for (const char* line : kCheckHeaders)
    http.Headers.emplace_back(line);
}

// The connection test over the real clients: one HTTP client and one echo
// object, made when first needed, serve every test server in turn.
class TSocketProbe final : public TConnectionProbe {
 public:
  TSocketProbe(TAbortLatch& latch, TProxyChoice proxy) : Latch_(latch), Proxy_(std::move(proxy)) {}

  bool Download(const std::string& server) override {
    if (Latch_.Cancelled())
      return false;
    if (!Http_)
      Http_ = std::make_unique<TxxHttp>();  // with the client's default time-out
    TAbortLatch::TInUse inUse(Latch_, *Http_);
    PrepareHttp(*Http_, Proxy_);
    return Http_->Request("GET", server);
  }

  bool Ping(const std::string& server) override {
    if (Latch_.Cancelled())
      return false;
    if (!Ping_) {
      Ping_ = std::make_unique<TxxPing>();
      Ping_->Timeout = static_cast<std::int32_t>(kConnectionTestPingTimeout);
    }
    TAbortLatch::TInUse inUse(Latch_, *Ping_);
    return Ping_->Ping(server);
  }

 private:
  TAbortLatch& Latch_;
  const TProxyChoice Proxy_;
  std::unique_ptr<TxxHttp> Http_;
  std::unique_ptr<TxxPing> Ping_;
};

}  // namespace

std::string TServicePorts::For(TCheckType service) const {
  switch (service) {
    case TCheckType::Smtp:
      return Smtp;
    case TCheckType::Pop3:
      return Pop3;
    case TCheckType::Ftp:
      return Ftp;
    case TCheckType::Ping:
    case TCheckType::Download:
      break;
  }
  return {};
}

// ---- TAbortLatch ----

TAbortLatch::TInUse::TInUse(TAbortLatch& latch, std::function<void()> abort) : Latch_(latch) {
  std::lock_guard lock(Latch_.Mutex_);
  if (Latch_.Cancelled_)
    abort();
  Latch_.AbortInUse_ = std::move(abort);
}

TAbortLatch::TInUse::~TInUse() {
  std::lock_guard lock(Latch_.Mutex_);
  Latch_.AbortInUse_ = nullptr;
}

void TAbortLatch::Cancel() {
  std::lock_guard lock(Mutex_);
  Cancelled_ = true;
  if (AbortInUse_)
    AbortInUse_();
}

bool TAbortLatch::Cancelled() const {
  std::lock_guard lock(Mutex_);
  return Cancelled_;
}

// ---- TSocketCheckNetwork ----

TSocketCheckNetwork::TSocketCheckNetwork(TServicePorts ports) : Ports_(std::move(ports)) {}

THttpOutcome TSocketCheckNetwork::Download(const std::string& url, const TProxyChoice& proxy,
                                           std::int32_t timeout) {
  THttpOutcome outcome;
  TxxHttp http;
  TAbortLatch::TInUse inUse(Latch_, http);
  PrepareHttp(http, proxy);
  http.Timeout = timeout;
  outcome.Sent = http.Request("GET", url);
  outcome.ResultCode = http.ResultCode();
  if (outcome.Sent) {
    outcome.ElapsedTime = http.ElapsedTime();
    outcome.Document = std::move(http.Document);
  }
  return outcome;
}

TPingOutcome TSocketCheckNetwork::Ping(const std::string& host, std::int32_t timeout) {
  TPingOutcome outcome;
  TxxPing ping;
  TAbortLatch::TInUse inUse(Latch_, ping);
  ping.Timeout = timeout;
  outcome.Replied = ping.Ping(host);
  if (outcome.Replied)
    outcome.Time = ping.PingTime;
  return outcome;
}

TGreetingOutcome TSocketCheckNetwork::Greeting(const std::string& host, TCheckType service,
                                               std::int32_t readTimeout) {
  TGreetingOutcome outcome;
  TxxTcpSocket socket;
  TAbortLatch::TInUse inUse(Latch_, socket);
  socket.Bind("0.0.0.0", "0");
  // Connecting is part of the time: a slow handshake is a slow service. The
  // tick is monotonic, so a clock change cannot bend the time.
  const std::uint32_t start = SystemClock().Tick();
  if (socket.LastError() == 0)
    socket.Connect(host, Ports_.For(service));
  if (socket.LastError() == 0)
    outcome.Line = socket.ReadLineWithin(readTimeout);  // a dripping server cannot stretch it
  if (socket.LastError() == 0)
    outcome.ElapsedTime = static_cast<std::int32_t>(TickDelta(start, SystemClock().Tick()));
  outcome.Error = socket.LastError();
  return outcome;
}

std::unique_ptr<TConnectionProbe> TSocketCheckNetwork::ConnectionProbe(const TProxyChoice& proxy) {
  return std::make_unique<TSocketProbe>(Latch_, proxy);
}

}  // namespace vantrel
