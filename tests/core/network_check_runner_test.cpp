// A check's flow over scripted network outcomes: what each method asks of the
// network, when the connection test runs and what it changes, and what
// cancelling leaves behind.

#include "core/network_check_runner.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/response_codes.h"
#include "scripted_network.h"

namespace vantrel {
namespace {

using Texts = std::vector<std::string>;
using test::TScriptedNetwork;

TCheckRequest Request(TCheckType checkType, const std::string& host, std::int32_t timeout) {
  TCheckRequest request;
  request.Active = true;
  request.CheckType = checkType;
  request.Host = host;
  request.Timeout = timeout;
  return request;
}

// A download item whose failures are put to the connection test.
TCheckRequest TestedDownload() {
  TCheckRequest request = Request(TCheckType::Download, "http://shop.example/", 8000);
  request.Proxy = {"proxy.lan", "3128", "joe", "pw"};
  request.CheckConnection = true;
  request.TestEnabled = true;
  request.TestServers = "one.example;two.example";
  request.TestByDownload = true;
  return request;
}

// ---- What each method asks ----

TEST(CheckFlow, PingWaitsTenSecondsAndJudgesByTheItemsThreshold) {
  TScriptedNetwork network;
  network.Echo = {true, 3500};
  const TCheckResult result = RunCheck(Request(TCheckType::Ping, "host.example", 3000), network);
  EXPECT_EQ(network.Calls, Texts{"ping host.example in 10000"});
  EXPECT_EQ(result, (TCheckResult{false, 3500, 408, ""}));
}

TEST(CheckFlow, DownloadGoesThroughTheItemsProxyWithALongExchangeLimit) {
  TScriptedNetwork network;
  network.Page = {true, 200, 40, "<p>Open</p>"};
  TCheckRequest request = Request(TCheckType::Download, "https://shop.example/x?y", 8000);
  request.Proxy = {"proxy.lan", "3128", "", ""};
  request.SearchText = "open";
  const TCheckResult result = RunCheck(request, network);
  EXPECT_EQ(network.Calls, Texts{"download https://shop.example/x?y via proxy.lan:3128 in 100000"});
  EXPECT_EQ(result, (TCheckResult{true, 40, 200, "<p>Open</p>"}));
}

TEST(CheckFlow, EachServiceAsksForItsOwnGreeting) {
  const std::vector<std::pair<TCheckType, std::string>> services = {
      {TCheckType::Smtp, "greeting mail.example smtp in 10000"},
      {TCheckType::Pop3, "greeting mail.example pop3 in 10000"},
      {TCheckType::Ftp, "greeting mail.example ftp in 10000"},
  };
  for (const auto& [service, call] : services) {
    TScriptedNetwork network;
    network.Greet = {0, service == TCheckType::Pop3 ? "+OK" : "220 hi", 0};
    const TCheckResult result = RunCheck(Request(service, "mail.example", 4000), network);
    EXPECT_EQ(network.Calls, Texts{call});
    EXPECT_TRUE(result.Success) << call;
    EXPECT_EQ(result.ResponseTime, 1) << call;
  }
}

// ---- The connection test ----

TEST(CheckFlow, EveryTestServerFailingTurnsA404Into420) {
  TScriptedNetwork network;
  network.Page = {true, 404, 60, "<html>gone</html>"};
  const TCheckResult result = RunCheck(TestedDownload(), network);
  EXPECT_EQ(network.Calls, (Texts{
                               "download http://shop.example/ via proxy.lan:3128 in 100000",
                               "probe via proxy.lan",
                               "probe download one.example",
                               "probe download two.example",
                           }));
  // The time and the page are those of the check.
  EXPECT_EQ(result, (TCheckResult{false, 60, 420, "<html>gone</html>"}));
}

TEST(CheckFlow, AnsweringTestServerKeepsTheChecksOwnCode) {
  TScriptedNetwork network;
  network.Page = {true, 404, 60, "gone"};
  network.Answering = {"one.example"};
  const TCheckResult result = RunCheck(TestedDownload(), network);
  EXPECT_EQ(network.Calls.back(), "probe download one.example");  // the first answer ends it
  EXPECT_EQ(result, (TCheckResult{false, 60, 404, "gone"}));
}

TEST(CheckFlow, ConnectionTestByPingAsksEachServerInTurn) {
  TScriptedNetwork network;
  TCheckRequest request = Request(TCheckType::Ping, "host.example", 3000);
  request.CheckConnection = true;
  request.TestEnabled = true;
  request.TestServers = "a.example; b.example";
  network.Answering = {"b.example"};
  const TCheckResult result = RunCheck(request, network);
  EXPECT_EQ(network.Calls, (Texts{"ping host.example in 10000", "probe via ",
                                  "probe ping a.example", "probe ping b.example"}));
  EXPECT_EQ(result, (TCheckResult{false, -1, 0, ""}));
}

TEST(CheckFlow, ConnectionTestSwitchedOffKeepsTheChecksCode) {
  TScriptedNetwork network;
  network.Page = {true, 404, 60, "gone"};
  TCheckRequest request = TestedDownload();
  request.TestEnabled = false;
  const TCheckResult result = RunCheck(request, network);
  EXPECT_EQ(result.ResponseCode, 404);
  for (const std::string& call : network.Calls)
    EXPECT_EQ(call.find("probe download"), std::string::npos) << call;
}

TEST(CheckFlow, ItemThatDoesNotAskRunsNoConnectionTest) {
  TScriptedNetwork network;
  network.Page = {true, 404, 60, "gone"};
  TCheckRequest request = TestedDownload();
  request.CheckConnection = false;
  EXPECT_EQ(RunCheck(request, network).ResponseCode, 404);
  EXPECT_EQ(network.Calls.size(), 1u);
}

TEST(CheckFlow, SuccessfulCheckRunsNoConnectionTest) {
  TScriptedNetwork network;
  network.Page = {true, 200, 60, "ok"};
  EXPECT_TRUE(RunCheck(TestedDownload(), network).Success);
  EXPECT_EQ(network.Calls.size(), 1u);
}

TEST(CheckFlow, FailedServiceCheckIsPutToTheConnectionTestToo) {
  TScriptedNetwork network;
  network.Greet = {10061, "", -1};
  TCheckRequest request = Request(TCheckType::Ftp, "ftp.example", 4000);
  request.CheckConnection = true;
  request.TestEnabled = true;
  request.TestServers = "a.example";
  EXPECT_EQ(RunCheck(request, network), (TCheckResult{false, -1, 420, ""}));
  EXPECT_EQ(network.Calls.back(), "probe ping a.example");
}

// ---- Cancelling ----

TEST(CheckFlow, CancelledBeforeTheCheckTouchesNoNetwork) {
  TScriptedNetwork network;
  network.Cancel();
  EXPECT_EQ(RunCheck(TestedDownload(), network), TCheckResult{});
  EXPECT_TRUE(network.Calls.empty());
}

TEST(CheckFlow, CancelDuringTheCheckDoesNotBlameTheConnection) {
  // The cut-short probes would all look silent and turn the code into 420.
  TScriptedNetwork network;
  network.Page = {false, 500, -1, ""};
  network.During = [&network] { network.Cancel(); };
  const TCheckResult result = RunCheck(TestedDownload(), network);
  EXPECT_EQ(result, (TCheckResult{false, -1, 500, ""}));
  EXPECT_EQ(network.Calls.size(), 1u);
}

TEST(NetworkCheckRunner, RunsOverTheNetworkItWasGiven) {
  auto owned = std::make_unique<TScriptedNetwork>();
  TScriptedNetwork& network = *owned;
  network.Echo = {true, 0};
  TNetworkCheckRunner runner(std::move(owned));
  EXPECT_EQ(runner.Run(Request(TCheckType::Ping, "h", 3000)), (TCheckResult{true, 1, 200, ""}));
  runner.Cancel();
  EXPECT_TRUE(network.Cancelled());
  EXPECT_EQ(runner.Run(Request(TCheckType::Ping, "h", 3000)), TCheckResult{});
  EXPECT_EQ(network.Calls.size(), 1u);
}

TEST(NetworkCheckRunner, FactoryRunnersCancelledBeforeRunReturnAtOnce) {
  const TCheckRunnerFactory factory = NetworkCheckRunnerFactory();
  const std::unique_ptr<TCheckRunner> first = factory();
  const std::unique_ptr<TCheckRunner> second = factory();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first.get(), second.get());
  first->Cancel();
  first->Cancel();  // twice is harmless
  EXPECT_EQ(first->Run(Request(TCheckType::Ping, "127.0.0.1", 3000)), TCheckResult{});
  first->Cancel();  // and after Run too
  second->Cancel();
}

TEST(ServicePorts, StandardServiceNamesUnlessTold) {
  const TServicePorts standard;
  EXPECT_EQ(standard.For(TCheckType::Smtp), "smtp");
  EXPECT_EQ(standard.For(TCheckType::Pop3), "pop3");
  EXPECT_EQ(standard.For(TCheckType::Ftp), "ftp");
  EXPECT_EQ(standard.For(TCheckType::Ping), "");
  const TServicePorts moved{"2525", "1110", "2121"};
  EXPECT_EQ(moved.For(TCheckType::Pop3), "1110");
}

// ---- The abort latch ----

struct TAbortable {
  int Aborts = 0;
  void Abort() { ++Aborts; }
};

TEST(AbortLatch, CancelAbortsTheObjectInUse) {
  TAbortLatch latch;
  TAbortable object;
  {
    TAbortLatch::TInUse inUse(latch, object);
    EXPECT_EQ(object.Aborts, 0);
    latch.Cancel();
    EXPECT_EQ(object.Aborts, 1);
  }
  EXPECT_TRUE(latch.Cancelled());
}

TEST(AbortLatch, ObjectTakenIntoUseAfterCancelIsAbortedAtOnce) {
  TAbortLatch latch;
  latch.Cancel();
  TAbortable object;
  TAbortLatch::TInUse inUse(latch, object);
  EXPECT_EQ(object.Aborts, 1);
}

TEST(AbortLatch, ReleasedObjectIsNotTouchedByALaterCancel) {
  TAbortLatch latch;
  auto object = std::make_unique<TAbortable>();
  { TAbortLatch::TInUse inUse(latch, *object); }
  object.reset();  // a use after free would show under the sanitizer
  latch.Cancel();
  EXPECT_TRUE(latch.Cancelled());
}

}  // namespace
}  // namespace vantrel
