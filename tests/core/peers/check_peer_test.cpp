// The checks against real servers on loopback: nginx for pages, the loopback
// addresses for echo, and greeters inside the test for the services, which
// the runner reaches on their ephemeral ports instead of 25, 110 and 21.
// Times are asserted with wide margins only.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "core/network_check_runner.h"
#include "core/response_codes.h"
#include "support/peer_nginx.h"
#include "support/peer_scripted_server.h"

namespace vantrel {
namespace {

using test::TNginxPeer;
using test::TPeerConnection;
using test::TPeerOptions;
using test::TScriptedPeer;
using Clock = std::chrono::steady_clock;

// Far below the 10 s greeting wait and the 100 s page limit that a cancel cuts short.
constexpr long long kPromptMs = 3000;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TCheckRequest Request(TCheckType checkType, const std::string& host, std::int32_t timeout) {
  TCheckRequest request;
  request.Active = true;
  request.CheckType = checkType;
  request.Host = host;
  request.Timeout = timeout;
  return request;
}

// Every service of the runner on `port`.
TServicePorts AllOn(const std::string& port) {
  return {port, port, port};
}

// A server that greets with `line` and then waits for the client to go.
TScriptedPeer::TScript Greeter(std::string line) {
  return [line = std::move(line)](TPeerConnection& connection) {
    connection.Send(line);
    connection.ReceiveUntilClosed(5000);
  };
}

// ---- Pages ----

class PageCheck : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Nginx_ = new TNginxPeer();
    Nginx_->WriteDocument("index.html", "<html><h1>Welcome HOME</h1></html>\n");
  }
  static void TearDownTestSuite() {
    delete Nginx_;
    Nginx_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(Nginx_->Ok()) << Nginx_->Error(); }

  static TCheckResult Check(const std::string& path, const std::string& search = "",
                            bool caseSensitive = false, std::int32_t timeout = 8000) {
    TCheckRequest request = Request(TCheckType::Download, Nginx_->Url(path), timeout);
    request.SearchText = search;
    request.CaseSensitive = caseSensitive;
    return NetworkCheckRunnerFactory()()->Run(request);
  }

  static TNginxPeer* Nginx_;
};

TNginxPeer* PageCheck::Nginx_ = nullptr;

TEST_F(PageCheck, LocalPageIsASuccessWithAMeasuredTime) {
  const TCheckResult result = Check("/index.html");
  EXPECT_TRUE(result.Success);
  EXPECT_EQ(result.ResponseCode, 200);
  // A loopback page often comes within the millisecond; 0 would read as no response.
  EXPECT_GE(result.ResponseTime, 1);
  EXPECT_LT(result.ResponseTime, kPromptMs);
  EXPECT_EQ(result.ResponseText, "<html><h1>Welcome HOME</h1></html>\n");
}

TEST_F(PageCheck, MissingPageFailsWithItsStatusWhateverTheSearch) {
  const TCheckResult result = Check("/missing.html", "Welcome");
  EXPECT_FALSE(result.Success);
  EXPECT_EQ(result.ResponseCode, 404);
  EXPECT_GE(result.ResponseTime, 1);
  EXPECT_NE(result.ResponseText.find("404"), std::string::npos);  // nginx's own page
}

TEST_F(PageCheck, SearchTextFoundWithoutCase) {
  const TCheckResult result = Check("/index.html", "welcome home");
  EXPECT_TRUE(result.Success);
  EXPECT_EQ(result.ResponseCode, 200);
}

TEST_F(PageCheck, SearchTextWithCaseNotFoundGives220) {
  const TCheckResult result = Check("/index.html", "welcome home", true);
  EXPECT_FALSE(result.Success);
  EXPECT_EQ(result.ResponseCode, kResponseSearchFailed);
  EXPECT_EQ(HttpCodeText(result.ResponseCode), "Search Content Failed");
}

TEST_F(PageCheck, PageSlowerThanTheThresholdGives408) {
  // /delay answers after 50 ms.
  const TCheckResult result = Check("/delay", "", false, 10);
  EXPECT_FALSE(result.Success);
  EXPECT_EQ(result.ResponseCode, kResponseTimeout);
  EXPECT_GE(result.ResponseTime, 45);
  EXPECT_EQ(result.ResponseText, "late\n");
}

TEST_F(PageCheck, ServerThatIsNotThereGives500WithoutTime) {
  const TCheckResult result = NetworkCheckRunnerFactory()()->Run(
      Request(TCheckType::Download,
              "http://127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) + "/", 8000));
  EXPECT_EQ(result, (TCheckResult{false, -1, kResponseRequestFailed, ""}));
}

// ---- The connection test over real servers ----

TEST_F(PageCheck, AnsweringTestServerKeepsTheChecksOwnCode) {
  TCheckRequest request = Request(TCheckType::Download, Nginx_->Url("/missing.html"), 8000);
  request.CheckConnection = true;
  request.TestEnabled = true;
  request.TestByDownload = true;
  // Any answer counts, even a 404.
  request.TestServers = Nginx_->Url("/absent-too");
  EXPECT_EQ(NetworkCheckRunnerFactory()()->Run(request).ResponseCode, 404);
}

TEST_F(PageCheck, SilentTestServersTurnA404Into420) {
  const std::string closed = "127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
  TCheckRequest request = Request(TCheckType::Download, Nginx_->Url("/missing.html"), 8000);
  request.CheckConnection = true;
  request.TestEnabled = true;
  request.TestByDownload = true;
  request.TestServers = "http://" + closed + "/;" + closed;
  const TCheckResult result = NetworkCheckRunnerFactory()()->Run(request);
  EXPECT_EQ(result.ResponseCode, kResponseConnectionFailed);
  EXPECT_GE(result.ResponseTime, 1);  // the check's own time stays
  EXPECT_NE(result.ResponseText.find("404"), std::string::npos);
}

TEST(ConnectionTestByPing, LoopbackTestServerKeepsTheChecksOwnCode) {
  TCheckRequest request =
      Request(TCheckType::Smtp, "127.0.0.1", 4000);  // refused: nothing listens there
  TServicePorts ports = AllOn(std::to_string(test::FreeLoopbackPort()));
  request.CheckConnection = true;
  request.TestEnabled = true;
  request.TestServers = "127.0.0.1";
  EXPECT_EQ(NetworkCheckRunnerFactory(ports)()->Run(request),
            (TCheckResult{false, -1, kResponseConnectionFailed, ""}));
}

// ---- Echo ----

TEST(PingCheck, LoopbackAddressesAnswerWithAMeasuredTime) {
  for (const std::string host : {"127.0.0.1", "::1"}) {
    const TCheckResult result =
        NetworkCheckRunnerFactory()()->Run(Request(TCheckType::Ping, host, 3000));
    EXPECT_TRUE(result.Success) << host;
    EXPECT_EQ(result.ResponseCode, 200) << host;
    // A loopback echo comes within the millisecond; 0 would read as no response.
    EXPECT_GE(result.ResponseTime, 1) << host;
    EXPECT_LT(result.ResponseTime, kPromptMs) << host;
    EXPECT_EQ(result.ResponseText, "") << host;
  }
}

// ---- Services ----

struct TServiceCase {
  TCheckType Service;
  const char* Greeting;
  bool IPv6;
  bool Success;
  std::int32_t Code;
  const char* Text;
};

TEST(ServiceCheck, GreetingsFromRealConnections) {
  const TServiceCase cases[] = {
      {TCheckType::Smtp, "220 mail.test ESMTP\r\n", false, true, 200, "220 mail.test ESMTP"},
      {TCheckType::Pop3, "+OK POP3 ready\r\n", false, true, 200, "+OK POP3 ready"},
      {TCheckType::Pop3, "+ok lower\r\n", true, true, 200, "+ok lower"},
      {TCheckType::Ftp, "220 FTP ready\r\n", true, true, 200, "220 FTP ready"},
      {TCheckType::Ftp, "421 Too many connections\r\n", false, false, 420,
       "421 Too many connections"},
      {TCheckType::Smtp, "554 go away\r\n", false, false, 420, "554 go away"},
  };
  for (const TServiceCase& c : cases) {
    TPeerOptions options;
    options.IPv6 = c.IPv6;
    TScriptedPeer peer(Greeter(c.Greeting), options);
    ASSERT_TRUE(peer.Ok()) << peer.Error();
    const TCheckResult result =
        NetworkCheckRunnerFactory(AllOn(peer.Port()))()->Run(Request(c.Service, peer.Host(), 4000));
    EXPECT_EQ(result.Success, c.Success) << c.Greeting;
    EXPECT_EQ(result.ResponseCode, c.Code) << c.Greeting;
    EXPECT_EQ(result.ResponseText, c.Text) << c.Greeting;
    // Connecting and greeting on loopback take less than a millisecond.
    EXPECT_GE(result.ResponseTime, 1) << c.Greeting;
    EXPECT_LT(result.ResponseTime, kPromptMs) << c.Greeting;
    EXPECT_TRUE(peer.WaitForScripts(1)) << "the check left its connection open";
  }
}

TEST(ServiceCheck, LateGreetingGives408) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.StaySilent(120);
    connection.Send("220 slow\r\n");
    connection.ReceiveUntilClosed(5000);
  });
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  const TCheckResult result = NetworkCheckRunnerFactory(AllOn(peer.Port()))()->Run(
      Request(TCheckType::Smtp, "127.0.0.1", 50));
  EXPECT_FALSE(result.Success);
  EXPECT_EQ(result.ResponseCode, kResponseTimeout);
  EXPECT_GE(result.ResponseTime, 100);
  EXPECT_EQ(result.ResponseText, "220 slow");
}

TEST(ServiceCheck, RefusedConnectionGives420WithoutTime) {
  const std::string port = std::to_string(test::FreeLoopbackPort());
  const TCheckResult result =
      NetworkCheckRunnerFactory(AllOn(port))()->Run(Request(TCheckType::Pop3, "127.0.0.1", 4000));
  EXPECT_EQ(result, (TCheckResult{false, -1, kResponseConnectionFailed, ""}));
}

TEST(ServiceCheck, ServerThatClosesWithoutAGreetingGives420) {
  TScriptedPeer peer([](TPeerConnection&) {});
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  const TCheckResult result = NetworkCheckRunnerFactory(AllOn(peer.Port()))()->Run(
      Request(TCheckType::Ftp, "127.0.0.1", 4000));
  EXPECT_EQ(result, (TCheckResult{false, -1, kResponseConnectionFailed, ""}));
}

// ---- Cancelling ----

// Runs `request` on a thread of its own, cancels it after 200 ms and says how
// long Run took in all.
long long CancelledRunMs(TCheckRunner& runner, const TCheckRequest& request) {
  const auto start = Clock::now();
  std::future<TCheckResult> result =
      std::async(std::launch::async, [&runner, &request] { return runner.Run(request); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  runner.Cancel();
  result.get();
  return MillisecondsSince(start);
}

TEST(CancelledCheck, SilentServiceServerReleasesTheCheckAtOnce) {
  TScriptedPeer peer([](TPeerConnection& connection) { connection.StaySilent(30000); });
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  const std::unique_ptr<TCheckRunner> runner = NetworkCheckRunnerFactory(AllOn(peer.Port()))();
  TCheckRequest request = Request(TCheckType::Smtp, "127.0.0.1", 4000);
  // A cancelled check runs no connection test either.
  request.CheckConnection = true;
  request.TestEnabled = true;
  request.TestServers = "127.0.0.1";
  EXPECT_LT(CancelledRunMs(*runner, request), kPromptMs);
}

TEST(CancelledCheck, SilentWebServerReleasesTheCheckAtOnce) {
  TScriptedPeer peer([](TPeerConnection& connection) { connection.StaySilent(30000); });
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  const std::unique_ptr<TCheckRunner> runner = NetworkCheckRunnerFactory()();
  EXPECT_LT(CancelledRunMs(*runner, Request(TCheckType::Download,
                                            "http://127.0.0.1:" + peer.Port() + "/", 8000)),
            kPromptMs);
}

TEST(CancelledCheck, RunAfterCancelConnectsNowhere) {
  TScriptedPeer peer(Greeter("220 hi\r\n"));
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  const std::unique_ptr<TCheckRunner> runner = NetworkCheckRunnerFactory(AllOn(peer.Port()))();
  runner->Cancel();
  EXPECT_EQ(runner->Run(Request(TCheckType::Smtp, "127.0.0.1", 4000)), TCheckResult{});
  EXPECT_EQ(peer.Accepted(), 0);
}

}  // namespace
}  // namespace vantrel
