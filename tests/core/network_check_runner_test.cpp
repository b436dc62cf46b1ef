// A check's flow over scripted network outcomes: what each method asks of the
// network, when the connection test runs and what it changes, and cancelling.

#include "core/network_check_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/response_codes.h"
#include "scripted_network.h"

namespace vantrel {
namespace {

using Texts = std::vector<std::string>;
using test::Request;
using test::TScriptedNetwork;

// A download item whose failures are put to the connection test.
TCheckRequest TestedDownload() {
  TCheckRequest request = Request(TCheckType::Download, "http://shop.example/", 8000);
  request.Proxy = {"proxy.lan", "3128", "joe", "pw"};
  request.CheckConnection = request.TestEnabled = request.TestByDownload = true;
  request.TestServers = "one.example;two.example";
  return request;
}

TEST(CheckFlow, EachMethodAsksTheNetworkWithItsOwnLimitAndJudgesByTheItemsThreshold) {
  TScriptedNetwork network;
  network.Echo = {true, 3500};
  EXPECT_EQ(RunCheck(Request(TCheckType::Ping, "host.example", 3000), network),
            (TCheckResult{false, 3500, 408, ""}));
  network.Page = {true, 200, 40, "<p>Open</p>"};
  TCheckRequest download = Request(TCheckType::Download, "https://shop.example/x?y", 8000);
  download.Proxy = {"proxy.lan", "3128", "", ""};
  download.SearchText = "open";
  EXPECT_EQ(RunCheck(download, network), (TCheckResult{true, 40, 200, "<p>Open</p>"}));
  network.Greet = {0, "+OK", 0};
  EXPECT_EQ(RunCheck(Request(TCheckType::Pop3, "mail.example", 4000), network),
            (TCheckResult{true, 1, 200, "+OK"}));
  network.Greet = {0, "220 hi", 0};
  RunCheck(Request(TCheckType::Smtp, "mail.example", 4000), network);
  RunCheck(Request(TCheckType::Ftp, "mail.example", 4000), network);
  EXPECT_EQ(network.Calls,
            (Texts{"ping host.example in 10000",
                   "download https://shop.example/x?y via proxy.lan:3128 in 100000",
                   "greeting mail.example pop3 in 10000", "greeting mail.example smtp in 10000",
                   "greeting mail.example ftp in 10000"}));
}

TEST(CheckFlow, ConnectionTestRunsOnlyForAFailureOfAnItemThatAsksAndTurnsSilenceInto420) {
  const struct {
    const char* Case;
    std::int32_t Status;
    bool CheckConnection;
    bool TestEnabled;
    const char* Answering;
    std::int32_t Code;
    long Probes;
  } cases[] = {
      {"every test server silent", 404, true, true, "", 420, 2},
      {"the first answers", 404, true, true, "one.example", 404, 1},
      {"test switched off", 404, true, false, "", 404, 0},
      {"item does not ask", 404, false, true, "", 404, 0},
      {"check succeeded", 200, true, true, "", 200, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    TScriptedNetwork network;
    network.Page = {true, c.Status, 60, "page"};
    network.Answering = {c.Answering};
    TCheckRequest request = TestedDownload();
    request.CheckConnection = c.CheckConnection;
    request.TestEnabled = c.TestEnabled;
    const TCheckResult result = RunCheck(request, network);
    EXPECT_EQ(result, (TCheckResult{c.Status == 200, 60, c.Code, "page"}));
    EXPECT_EQ(std::count_if(network.Calls.begin(), network.Calls.end(),
                            [](const std::string& call) { return call.starts_with("probe d"); }),
              c.Probes);
  }
  TScriptedNetwork network;
  network.Page = {true, 404, 60, "gone"};
  RunCheck(TestedDownload(), network);
  EXPECT_EQ(network.Calls, (Texts{"download http://shop.example/ via proxy.lan:3128 in 100000",
                                  "probe via proxy.lan", "probe download one.example",
                                  "probe download two.example"}));
}

TEST(CheckFlow, ConnectionTestByPingAsksEachServerInTurn) {
  TScriptedNetwork network;
  TCheckRequest request = Request(TCheckType::Ping, "host.example", 3000);
  request.CheckConnection = request.TestEnabled = true;
  request.TestServers = "a.example; b.example";
  network.Answering = {"b.example"};
  EXPECT_EQ(RunCheck(request, network), (TCheckResult{false, -1, 0, ""}));
  EXPECT_EQ(network.Calls, (Texts{"ping host.example in 10000", "probe via ",
                                  "probe ping a.example", "probe ping b.example"}));
}

TEST(CheckFlow, CancelBeforeTouchesNoNetworkAndCancelDuringDoesNotBlameTheConnection) {
  TScriptedNetwork before;
  before.Cancel();
  EXPECT_EQ(RunCheck(TestedDownload(), before), TCheckResult{});
  EXPECT_TRUE(before.Calls.empty());
  // The cut-short probes would all look silent and turn the code into 420.
  TScriptedNetwork during;
  during.Page = {false, 500, -1, ""};
  during.During = [&during] { during.Cancel(); };
  EXPECT_EQ(RunCheck(TestedDownload(), during), (TCheckResult{false, -1, 500, ""}));
  EXPECT_EQ(during.Calls.size(), 1u);
}

TEST(ServicePorts, StandardServiceNamesUnlessTold) {
  EXPECT_EQ(TServicePorts{}.For(TCheckType::Pop3), "pop3");
  EXPECT_EQ(TServicePorts{}.For(TCheckType::Ping), "");
  EXPECT_EQ((TServicePorts{"2525", "1110", "2121"}).For(TCheckType::Ftp), "2121");
}

struct TAbortable {
  int Aborts = 0;
  void Abort() { ++Aborts; }
};

TEST(AbortLatch, CancelAbortsTheObjectInUseOrTheNextOneAtOnceButNoReleasedOne) {
  TAbortLatch latch;
  auto released = std::make_unique<TAbortable>();
  { TAbortLatch::TInUse inUse(latch, *released); }
  released.reset();  // a use after free would show under the sanitizer
  TAbortable object;
  {
    TAbortLatch::TInUse inUse(latch, object);
    EXPECT_EQ(object.Aborts, 0);
    latch.Cancel();
    EXPECT_EQ(object.Aborts, 1);
  }
  EXPECT_TRUE(latch.Cancelled());
  TAbortable later;
  TAbortLatch::TInUse inUse(latch, later);
  EXPECT_EQ(later.Aborts, 1);
}

}  // namespace
}  // namespace vantrel
