#pragma once

// A stand-in for the checks' network: each operation returns the outcome the
// test scripted and records how it was asked. One thread only, but Cancel.

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/check_network.h"

namespace vantrel::test {

// An active item's check of `host` by `checkType` with the threshold `timeout`.
inline TCheckRequest Request(TCheckType checkType, const std::string& host, std::int32_t timeout) {
  TCheckRequest request;
  request.Active = true;
  request.CheckType = checkType;
  request.Host = host;
  request.Timeout = timeout;
  return request;
}

class TScriptedNetwork final : public TCheckNetwork {
 public:
  THttpOutcome Page;
  TPingOutcome Echo;
  TGreetingOutcome Greet;
  // Test servers that answer the connection test, by download and by ping.
  std::set<std::string> Answering;
  // Runs inside each check operation, before its outcome is returned.
  std::function<void()> During;

  // Every call, in order, as "download URL via PROXY-HOST:PORT in TIMEOUT",
  // "probe via PROXY-HOST", "probe download SERVER" and the like.
  std::vector<std::string> Calls;

  THttpOutcome Download(const std::string& url, const TProxyChoice& proxy,
                        std::int32_t timeout) override {
    Calls.push_back("download " + url + " via " + proxy.Host + ":" + proxy.Port + " in " +
                    std::to_string(timeout));
    Run();
    return Page;
  }
  TPingOutcome Ping(const std::string& host, std::int32_t timeout) override {
    Calls.push_back("ping " + host + " in " + std::to_string(timeout));
    Run();
    return Echo;
  }
  TGreetingOutcome Greeting(const std::string& host, TCheckType service,
                            std::int32_t readTimeout) override {
    Calls.push_back("greeting " + host + " " + TServicePorts{}.For(service) + " in " +
                    std::to_string(readTimeout));
    Run();
    return Greet;
  }
  std::unique_ptr<TConnectionProbe> ConnectionProbe(const TProxyChoice& proxy) override {
    Calls.push_back("probe via " + proxy.Host);
    return std::make_unique<TProbe>(*this);
  }
  void Cancel() override { Cancelled_.store(true); }
  bool Cancelled() const override { return Cancelled_.load(); }

 private:
  class TProbe final : public TConnectionProbe {
   public:
    explicit TProbe(TScriptedNetwork& network) : Network_(network) {}
    bool Download(const std::string& server) override {
      Network_.Calls.push_back("probe download " + server);
      return Network_.Answering.count(server) != 0;
    }
    bool Ping(const std::string& server) override {
      Network_.Calls.push_back("probe ping " + server);
      return Network_.Answering.count(server) != 0;
    }

   private:
    TScriptedNetwork& Network_;
  };

  void Run() const {
    if (During)
      During();
  }

  std::atomic<bool> Cancelled_{false};
};

}  // namespace vantrel::test
