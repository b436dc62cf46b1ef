// The monitoring test's step lines over scripted network outcomes: which steps
// run, in which order, with which words, and what each asks of the network.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/monitoring_test.h"
#include "scripted_network.h"

namespace vantrel {
namespace {

using Texts = std::vector<std::string>;
using test::TScriptedNetwork;

class MonitoringSteps : public testing::Test {
 protected:
  MonitoringSteps() {
    auto owned = std::make_unique<TScriptedNetwork>();
    Network = owned.get();
    Test = std::make_unique<TMonitoringTest>(std::move(owned));
  }

  // Runs the test; its lines are in Lines.
  bool Run(const TMonitoringTestSettings& settings) {
    TTestTranscript transcript;
    const bool passed = Test->Run(settings, transcript);
    Lines = transcript.Lines;
    return passed;
  }

  static TMonitoringTestSettings Settings(TCheckType checkType, const std::string& url) {
    TMonitoringTestSettings settings;
    settings.CheckType = checkType;
    settings.Url = url;
    return settings;
  }

  TScriptedNetwork* Network = nullptr;
  std::unique_ptr<TMonitoringTest> Test;
  Texts Lines;
};

// ---- Ping ----

TEST_F(MonitoringSteps, PingWithinTheThresholdPasses) {
  Network->Echo = {true, 12};
  EXPECT_TRUE(Run(Settings(TCheckType::Ping, "host.example")));
  EXPECT_EQ(Lines, (Texts{"Start testing", "Pinging: Success", "Response time: 12 milli-seconds",
                          "Checking time-out: Success", "", "Test finished successfully."}));
  EXPECT_EQ(Network->Calls, Texts{"ping host.example in 10000"});
}

TEST_F(MonitoringSteps, PingOfAUrlWithASchemePingsWhatFollowsIt) {
  Network->Echo = {true, 12};
  Run(Settings(TCheckType::Ping, "  http://www.host.example/path  "));
  EXPECT_EQ(Network->Calls, Texts{"ping www.host.example/path in 10000"});
}

TEST_F(MonitoringSteps, PingReplyWithinAMillisecondShowsOneMillisecond) {
  Network->Echo = {true, 0};
  EXPECT_TRUE(Run(Settings(TCheckType::Ping, "127.0.0.1")));
  EXPECT_EQ(Lines[2], "Response time: 1 milli-seconds");
}

TEST_F(MonitoringSteps, LatePingFailsItsTimeoutStep) {
  Network->Echo = {true, 3001};
  EXPECT_FALSE(Run(Settings(TCheckType::Ping, "host.example")));  // threshold 3000
  EXPECT_EQ(Lines, (Texts{"Start testing", "Pinging: Success", "Response time: 3001 milli-seconds",
                          "Checking time-out: Failure", "", "Test failed."}));
}

TEST_F(MonitoringSteps, UnansweredPingEndsTheTest) {
  EXPECT_FALSE(Run(Settings(TCheckType::Ping, "host.example")));
  EXPECT_EQ(Lines, (Texts{"Start testing", "Pinging: Failure", "", "Test failed."}));
}

// ---- Download ----

TEST_F(MonitoringSteps, PageWithItsTextPassesEveryStep) {
  Network->Page = {true, 200, 35, "<h1>WELCOME</h1>"};
  TMonitoringTestSettings settings = Settings(TCheckType::Download, " http://www.site.example/ ");
  settings.Proxy = {"proxy.lan", "3128", "", ""};
  settings.SearchText = "welcome";
  EXPECT_TRUE(Run(settings));
  EXPECT_EQ(Lines, (Texts{"Start testing", "Loading page: Success", "Response code: 200 OK",
                          "Response time: 35 milli-seconds", "Checking code: Success",
                          "Checking time-out: Success", "Checking page content: Success", "",
                          "Test finished successfully."}));
  // The URL as typed, only trimmed; the proxy for it; the long exchange limit.
  EXPECT_EQ(Network->Calls,
            Texts{"download http://www.site.example/ via proxy.lan:3128 in 100000"});
}

TEST_F(MonitoringSteps, NotFoundPageStopsAtTheCodeStep) {
  Network->Page = {true, 404, 15, "gone"};
  TMonitoringTestSettings settings = Settings(TCheckType::Download, "http://site.example/x");
  settings.SearchText = "gone";
  EXPECT_FALSE(Run(settings));
  EXPECT_EQ(Lines, (Texts{"Start testing", "Loading page: Success", "Response code: 404 Not Found",
                          "Response time: 15 milli-seconds", "Checking code: Failure", "",
                          "Test failed."}));
}

TEST_F(MonitoringSteps, BlankSearchTextSkipsTheContentStep) {
  Network->Page = {true, 200, 0, "page"};
  TMonitoringTestSettings settings = Settings(TCheckType::Download, "http://site.example/");
  settings.SearchText = "   ";
  EXPECT_TRUE(Run(settings));
  EXPECT_EQ(Lines, (Texts{"Start testing", "Loading page: Success", "Response code: 200 OK",
                          "Response time: 1 milli-seconds", "Checking code: Success",
                          "Checking time-out: Success", "", "Test finished successfully."}));
}

TEST_F(MonitoringSteps, SearchTextIsLookedForUntrimmedAndWithItsCase) {
  Network->Page = {true, 200, 20, "<b>Open now</b>"};
  TMonitoringTestSettings settings = Settings(TCheckType::Download, "http://site.example/");
  settings.SearchText = "OPEN NOW";
  EXPECT_TRUE(Run(settings));
  // Trimmed, " open" would be found.
  settings.SearchText = " open";
  EXPECT_FALSE(Run(settings));
  EXPECT_EQ(Lines[6], "Checking page content: Failure");
  settings.SearchText = "open";
  settings.CaseSensitive = true;
  EXPECT_FALSE(Run(settings));
  EXPECT_EQ(Lines[6], "Checking page content: Failure");
  EXPECT_EQ(Lines.back(), "Test failed.");
}

TEST_F(MonitoringSteps, LatePageStopsAtTheTimeoutStep) {
  Network->Page = {true, 200, 9000, "page"};
  TMonitoringTestSettings settings = Settings(TCheckType::Download, "http://site.example/");
  settings.SearchText = "page";
  EXPECT_FALSE(Run(settings));  // threshold 8000
  EXPECT_EQ(Lines, (Texts{"Start testing", "Loading page: Success", "Response code: 200 OK",
                          "Response time: 9000 milli-seconds", "Checking code: Success",
                          "Checking time-out: Failure", "", "Test failed."}));
}

TEST_F(MonitoringSteps, PageThatCouldNotBeRequestedShowsNoCode) {
  Network->Page = {false, 500, -1, ""};
  EXPECT_FALSE(Run(Settings(TCheckType::Download, "http://nowhere.example/")));
  EXPECT_EQ(Lines, (Texts{"Start testing", "Loading page: Failure", "", "Test failed."}));
}

// ---- Services ----

TEST_F(MonitoringSteps, ServiceGreetingWithinTheThresholdPasses) {
  Network->Greet = {0, "220 mail ESMTP", 25};
  EXPECT_TRUE(Run(Settings(TCheckType::Smtp, "smtp://WWW.mail.example")));
  EXPECT_EQ(Lines,
            (Texts{"Start testing", "Checking SMTP: Success", "Response time: 25 milli-seconds",
                   "Checking time-out: Success", "", "Test finished successfully."}));
  // Without the scheme and without the leading "www.", whatever its case.
  EXPECT_EQ(Network->Calls, Texts{"greeting mail.example smtp in 10000"});
}

TEST_F(MonitoringSteps, EachServiceHasItsStepLabel) {
  Network->Greet = {0, "+ok", 0};
  EXPECT_TRUE(Run(Settings(TCheckType::Pop3, "mail.example")));
  EXPECT_EQ(Lines[1], "Checking POP3: Success");
  EXPECT_EQ(Lines[2], "Response time: 1 milli-seconds");
  Network->Greet = {0, "220 ftp", 5000};
  EXPECT_FALSE(Run(Settings(TCheckType::Ftp, "ftp.example")));  // threshold 4000
  EXPECT_EQ(Lines,
            (Texts{"Start testing", "Checking FTP: Success", "Response time: 5000 milli-seconds",
                   "Checking time-out: Failure", "", "Test failed."}));
}

TEST_F(MonitoringSteps, WrongGreetingAddsNothingMoreAndFails) {
  Network->Greet = {0, "421 Too many users", 5};
  EXPECT_FALSE(Run(Settings(TCheckType::Ftp, "ftp.example")));
  EXPECT_EQ(Lines, (Texts{"Start testing", "Checking FTP: Success", "", "Test failed."}));
}

// ---- Outputs ----

TEST(TestOutput, StreamShowsAStepsLabelBeforeItsOutcome) {
  std::ostringstream stream;
  {
    TStreamTestOutput output(stream);
    output.AddLine("Start testing");
    output.AddLine("Pinging: ");
    EXPECT_EQ(stream.str(), "Start testing\nPinging: ");
    output.AppendToLine("Success");
    output.AddLine("");
    output.AddLine("Test failed.");
  }
  EXPECT_EQ(stream.str(), "Start testing\nPinging: Success\n\nTest failed.\n");
}

TEST(TestOutput, TranscriptAppendsToTheLastLine) {
  TTestTranscript transcript;
  transcript.AppendToLine("x");  // nothing to append to yet: a line is made
  transcript.AddLine("Loading page: ");
  transcript.AppendToLine("Failure");
  EXPECT_EQ(transcript.Lines, (Texts{"x", "Loading page: Failure"}));
}

}  // namespace
}  // namespace vantrel
