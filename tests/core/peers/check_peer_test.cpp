// The checks against real servers on loopback: nginx for pages, the loopback
// addresses for echo, and greeters inside the test for the services, which
// the runner reaches on their ephemeral ports. Times have wide margins only.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>

#include "core/network_check_runner.h"
#include "core/response_codes.h"
#include "core/scripted_network.h"
#include "support/peer_nginx.h"
#include "support/peer_scripted_server.h"
#include "support/test_process.h"

namespace vantrel {
namespace {

using test::Request;
using test::TPeerConnection;
using test::TScriptedPeer;

// Far below the 10 s greeting wait and the 100 s page limit that a cancel cuts short.
constexpr long long kPromptMs = 3000;

TCheckResult Checked(const TCheckRequest& request, const std::string& port = "") {
  const TServicePorts ports = port.empty() ? TServicePorts{} : TServicePorts{port, port, port};
  return NetworkCheckRunnerFactory(ports)()->Run(request);
}

std::string ClosedPort() {
  return std::to_string(test::FreeLoopbackPort());
}

// A server that greets with `line` and then waits for the client to go.
TScriptedPeer::TScript Greeter(std::string line) {
  return [line = std::move(line)](TPeerConnection& connection) {
    connection.Send(line);
    connection.ReceiveUntilClosed(5000);
  };
}

TEST(PageCheck, NginxPagesGiveStatusThresholdAndSearchCodes) {
  test::TNginxPeer nginx;
  ASSERT_TRUE(nginx.Ok()) << nginx.Error();
  const std::string index = "<html><h1>Welcome HOME</h1></html>\n";
  nginx.WriteDocument("index.html", index);
  const struct {
    const char* Path;
    const char* Search;
    bool CaseSensitive;
    std::int32_t Timeout;
    std::int32_t Code;
    std::int32_t MinTime;
  } cases[] = {
      {"/index.html", "", false, 8000, 200, 1},              // 0 would read as no response
      {"/index.html", "welcome home", false, 8000, 200, 1},  // searched in the page
      {"/missing.html", "Welcome", false, 8000, 404, 1},
      {"/delay", "", false, 10, kResponseTimeout, 45},  // answers after 50 ms
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path + std::string(" ") + c.Search);
    TCheckRequest request = Request(TCheckType::Download, nginx.Url(c.Path), c.Timeout);
    request.SearchText = c.Search;
    request.CaseSensitive = c.CaseSensitive;
    const TCheckResult result = Checked(request);
    EXPECT_EQ(result.Success, c.Code == 200);
    EXPECT_EQ(result.ResponseCode, c.Code);
    EXPECT_GE(result.ResponseTime, c.MinTime);
    EXPECT_LT(result.ResponseTime, kPromptMs);
  }
  EXPECT_EQ(Checked(Request(TCheckType::Download, nginx.Url("/index.html"), 8000)).ResponseText,
            index);
  EXPECT_EQ(Checked(Request(TCheckType::Download, nginx.Url("/delay"), 10)).ResponseText, "late\n");
  EXPECT_EQ(Checked(Request(TCheckType::Download, "http://127.0.0.1:" + ClosedPort() + "/", 8000)),
            (TCheckResult{false, -1, kResponseRequestFailed, ""}));

  // The connection test: any answer counts, even a 404; silence gives 420.
  TCheckRequest tested = Request(TCheckType::Download, nginx.Url("/missing.html"), 8000);
  tested.CheckConnection = tested.TestEnabled = tested.TestByDownload = true;
  tested.TestServers = nginx.Url("/absent-too");
  EXPECT_EQ(Checked(tested).ResponseCode, 404);
  const std::string closed = "127.0.0.1:" + ClosedPort();
  tested.TestServers = "http://" + closed + "/;" + closed;
  const TCheckResult result = Checked(tested);
  EXPECT_EQ(result.ResponseCode, kResponseConnectionFailed);
  EXPECT_GE(result.ResponseTime, 1);  // the check's own time and page stay
  EXPECT_NE(result.ResponseText.find("404"), std::string::npos);
}

TEST(PingCheck, LoopbackAddressesAnswerWithAMeasuredTime) {
  for (const std::string host : {"127.0.0.1", "::1"}) {
    const TCheckResult result = Checked(Request(TCheckType::Ping, host, 3000));
    EXPECT_TRUE(result.Success) << host;
    EXPECT_EQ(result.ResponseCode, 200) << host;
    EXPECT_GE(result.ResponseTime, 1) << host;
    EXPECT_LT(result.ResponseTime, kPromptMs) << host;
  }
  // A refused service whose test server answers the echo keeps its own code.
  TCheckRequest request = Request(TCheckType::Smtp, "127.0.0.1", 4000);
  request.CheckConnection = request.TestEnabled = true;
  request.TestServers = "127.0.0.1";
  EXPECT_EQ(Checked(request, ClosedPort()),
            (TCheckResult{false, -1, kResponseConnectionFailed, ""}));
}

TEST(ServiceCheck, GreetingLineIsReadWithoutItsEndOverIPv4AndIPv6) {
  const struct {
    TCheckType Service;
    const char* Greeting;
    bool IPv6;
  } cases[] = {{TCheckType::Smtp, "220 mail.test ESMTP\r\n", false},
               {TCheckType::Pop3, "+ok lower\r\n", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Greeting);
    TScriptedPeer peer(Greeter(c.Greeting), test::TPeerOptions{.IPv6 = c.IPv6});
    ASSERT_TRUE(peer.Ok()) << peer.Error();
    const TCheckResult result = Checked(Request(c.Service, peer.Host(), 4000), peer.Port());
    EXPECT_TRUE(result.Success);
    EXPECT_EQ(result.ResponseCode, 200);
    EXPECT_EQ(result.ResponseText, std::string(c.Greeting).substr(0, std::strlen(c.Greeting) - 2));
    EXPECT_GE(result.ResponseTime, 1);
    EXPECT_LT(result.ResponseTime, kPromptMs);
    EXPECT_TRUE(peer.WaitForScripts(1)) << "the check left its connection open";
  }
}

TEST(ServiceCheck, LateGreetingGives408AndNoGreetingAtAll420) {
  TScriptedPeer late([](TPeerConnection& connection) {
    connection.StaySilent(120);
    connection.Send("220 slow\r\n");
    connection.ReceiveUntilClosed(5000);
  });
  ASSERT_TRUE(late.Ok()) << late.Error();
  const TCheckResult result = Checked(Request(TCheckType::Smtp, "127.0.0.1", 50), late.Port());
  EXPECT_FALSE(result.Success);
  EXPECT_EQ(result.ResponseCode, kResponseTimeout);
  EXPECT_GE(result.ResponseTime, 100);
  EXPECT_EQ(result.ResponseText, "220 slow");

  TScriptedPeer closing([](TPeerConnection&) {});
  ASSERT_TRUE(closing.Ok()) << closing.Error();
  for (const std::string& port : {closing.Port(), ClosedPort()}) {
    EXPECT_EQ(Checked(Request(TCheckType::Ftp, "127.0.0.1", 4000), port),
              (TCheckResult{false, -1, kResponseConnectionFailed, ""}))
        << port;
  }
}

TEST(CancelledCheck, SilentServersReleaseTheCheckAtOnceAndACancelledRunConnectsNowhere) {
  TScriptedPeer silent([](TPeerConnection& connection) { connection.StaySilent(30000); });
  ASSERT_TRUE(silent.Ok()) << silent.Error();
  TCheckRequest service = Request(TCheckType::Smtp, "127.0.0.1", 4000);
  // A cancelled check runs no connection test either.
  service.CheckConnection = service.TestEnabled = true;
  service.TestServers = "127.0.0.1";
  const TCheckRequest page =
      Request(TCheckType::Download, "http://127.0.0.1:" + silent.Port() + "/", 8000);
  for (const TCheckRequest& request : {service, page}) {
    const std::unique_ptr<TCheckRunner> runner =
        NetworkCheckRunnerFactory({silent.Port(), silent.Port(), silent.Port()})();
    const auto start = std::chrono::steady_clock::now();
    const int accepted = silent.Accepted();
    std::future<TCheckResult> result =
        std::async(std::launch::async, [&] { return runner->Run(request); });
    // Cancelled while it waits on the connected server.
    ASSERT_TRUE(test::WaitUntil([&] { return silent.Accepted() > accepted; }, 10000));
    runner->Cancel();
    result.get();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kPromptMs))
        << request.Host;
  }

  TScriptedPeer greeter(Greeter("220 hi\r\n"));
  ASSERT_TRUE(greeter.Ok()) << greeter.Error();
  const std::unique_ptr<TCheckRunner> runner =
      NetworkCheckRunnerFactory({greeter.Port(), greeter.Port(), greeter.Port()})();
  runner->Cancel();
  EXPECT_EQ(runner->Run(Request(TCheckType::Smtp, "127.0.0.1", 4000)), TCheckResult{});
  EXPECT_EQ(greeter.Accepted(), 0);
}

}  // namespace
}  // namespace vantrel
