#pragma once

// The network side of the checks and of the monitoring test: a GET of a page,
// an echo request, a service's greeting, and the probe of the connection test,
// each reported as an outcome for check_rules.h to judge. The checks reach the
// network only through TCheckNetwork, so that their flow can be exercised on
// scripted outcomes; TSocketCheckNetwork is the real one.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/check_rules.h"
#include "core/watch_types.h"
#include "net/connection_test.h"
#include "net/proxy.h"

namespace vantrel {

// The port each service check connects to: a service name or a decimal port.
// The checks use the standard service names; another port is for servers that
// cannot have theirs, such as test peers on loopback.
struct TServicePorts {
  std::string Smtp = "smtp";
  std::string Pop3 = "pop3";
  std::string Ftp = "ftp";

  // The port of `service`; empty for ping and download.
  std::string For(TCheckType service) const;

  bool operator==(const TServicePorts&) const = default;
};

// One check's (or one test's) network operations, used from one thread at a
// time; Cancel may come from any thread.
class TCheckNetwork {
 public:
  virtual ~TCheckNetwork() = default;

  // GET of `url` as a page check asks for it: through `proxy`, with the
  // check's user agent and no-cache lines, the exchange bounded by `timeout` ms.
  virtual THttpOutcome Download(const std::string& url, const TProxyChoice& proxy,
                                std::int32_t timeout) = 0;
  // One echo request to `host`, waiting at most `timeout` ms for the reply.
  virtual TPingOutcome Ping(const std::string& host, std::int32_t timeout) = 0;
  // Connects to `host` on the port of `service` and reads its first line,
  // waiting at most `readTimeout` ms for it. No QUIT is sent.
  virtual TGreetingOutcome Greeting(const std::string& host, TCheckType service,
                                    std::int32_t readTimeout) = 0;
  // The probe of one connection test, reaching the test servers through `proxy`.
  virtual std::unique_ptr<TConnectionProbe> ConnectionProbe(const TProxyChoice& proxy) = 0;

  // Any thread: ends the operation under way at once and makes every later
  // one fail at once.
  virtual void Cancel() = 0;
  virtual bool Cancelled() const = 0;
};

// Lets another thread stop the network object an operation is using. The
// object is registered for as long as it is in use; the latch aborts it, or
// aborts it at once when it comes into use after the cancellation.
class TAbortLatch {
 public:
  // Marks an object as in use for the guard's life. Declare the guard after
  // the object, so that it is released before the object goes.
  class TInUse {
   public:
    template <typename TObject>
    TInUse(TAbortLatch& latch, TObject& object)
        : TInUse(latch, std::function<void()>([&object] { object.Abort(); })) {}
    ~TInUse();
    TInUse(const TInUse&) = delete;
    TInUse& operator=(const TInUse&) = delete;

   private:
    TInUse(TAbortLatch& latch, std::function<void()> abort);
    TAbortLatch& Latch_;
  };

  // Any thread.
  void Cancel();
  bool Cancelled() const;

 private:
  mutable std::mutex Mutex_;
  bool Cancelled_ = false;
  std::function<void()> AbortInUse_;  // empty while nothing is in use
};

// The checks' network over the program's own HTTP client, ICMP echo and TCP
// socket. Every operation creates its network object and frees it before it
// returns; only a connection test's probe keeps its HTTP client and its echo
// object across the test servers.
class TSocketCheckNetwork final : public TCheckNetwork {
 public:
  explicit TSocketCheckNetwork(TServicePorts ports = {});

  THttpOutcome Download(const std::string& url, const TProxyChoice& proxy,
                        std::int32_t timeout) override;
  TPingOutcome Ping(const std::string& host, std::int32_t timeout) override;
  TGreetingOutcome Greeting(const std::string& host, TCheckType service,
                            std::int32_t readTimeout) override;
  std::unique_ptr<TConnectionProbe> ConnectionProbe(const TProxyChoice& proxy) override;
  void Cancel() override { Latch_.Cancel(); }
  bool Cancelled() const override { return Latch_.Cancelled(); }

 private:
  const TServicePorts Ports_;
  TAbortLatch Latch_;
};

}  // namespace vantrel
