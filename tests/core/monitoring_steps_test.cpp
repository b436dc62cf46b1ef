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

using enum TCheckType;

class MonitoringSteps : public testing::Test {
 protected:
  MonitoringSteps() : Test(std::unique_ptr<test::TScriptedNetwork>(Network)) {}

  // The step lines between "Start testing" and the closing blank line and
  // verdict, joined by "|", then "passed" or "failed".
  std::string Run(TCheckType type, const std::string& url, const std::string& search = "",
                  bool caseSensitive = false) {
    TMonitoringTestSettings settings;
    settings.CheckType = type;
    settings.Url = url;
    settings.SearchText = search;
    settings.CaseSensitive = caseSensitive;
    settings.Proxy = {"proxy.lan", "3128", "", ""};
    TTestTranscript transcript;
    const bool passed = Test.Run(settings, transcript);
    const std::vector<std::string>& lines = transcript.Lines;
    EXPECT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "Start testing");
    EXPECT_EQ(lines.end()[-2], "");
    EXPECT_EQ(lines.back(), passed ? "Test finished successfully." : "Test failed.");
    std::string joined;
    for (std::size_t i = 1; i + 2 < lines.size(); ++i)
      joined += lines[i] + "|";
    return joined + (passed ? "passed" : "failed");
  }

  test::TScriptedNetwork* Network = new test::TScriptedNetwork;
  TMonitoringTest Test;
};

TEST_F(MonitoringSteps, PingOfTheHostAfterTheScheme) {
  Network->Echo = {true, 12};
  EXPECT_EQ(Run(Ping, "  http://www.host.example/path  "),
            "Pinging: Success|Response time: 12 milli-seconds|Checking time-out: Success|passed");
  EXPECT_EQ(Network->Calls.back(), "ping www.host.example/path in 10000");
  Network->Echo = {true, 0};
  EXPECT_EQ(Run(Ping, "h"),
            "Pinging: Success|Response time: 1 milli-seconds|Checking time-out: Success|passed");
  Network->Echo = {true, 3001};
  EXPECT_EQ(Run(Ping, "h"),
            "Pinging: Success|Response time: 3001 milli-seconds|Checking time-out: Failure|failed");
  Network->Echo = {false, -1};
  EXPECT_EQ(Run(Ping, "h"), "Pinging: Failure|failed");
}

TEST_F(MonitoringSteps, DownloadOfTheTrimmedUrlThroughItsProxy) {
  const std::string loaded = "Loading page: Success|Response code: ";
  const std::string found = loaded +
                            "200 OK|Response time: 35 milli-seconds|Checking code: Success|"
                            "Checking time-out: Success|";
  Network->Page = {true, 200, 35, "<h1>WELCOME</h1>"};
  EXPECT_EQ(Run(Download, " http://www.site.example/ ", "welcome"),
            found + "Checking page content: Success|passed");
  EXPECT_EQ(Network->Calls.back(),
            "download http://www.site.example/ via proxy.lan:3128 in 100000");
  EXPECT_EQ(Run(Download, "u", "   "), found + "passed");  // blanks alone: no content step
  // Searched for untrimmed and with its case.
  EXPECT_EQ(Run(Download, "u", " welcome"), found + "Checking page content: Failure|failed");
  EXPECT_EQ(Run(Download, "u", "welcome", true), found + "Checking page content: Failure|failed");

  Network->Page = {true, 404, 15, "gone"};
  EXPECT_EQ(Run(Download, "u", "gone"),
            loaded + "404 Not Found|Response time: 15 milli-seconds|Checking code: Failure|failed");
  Network->Page = {true, 200, 9000, "page"};
  EXPECT_EQ(Run(Download, "u", "page"),
            loaded +
                "200 OK|Response time: 9000 milli-seconds|Checking code: Success|"
                "Checking time-out: Failure|failed");
  Network->Page = {false, 500, -1, ""};
  EXPECT_EQ(Run(Download, "u"), "Loading page: Failure|failed");
}

TEST_F(MonitoringSteps, ServiceGreetingOfTheHostWithoutSchemeAndWww) {
  Network->Greet = {0, "220 mail ESMTP", 25};
  EXPECT_EQ(Run(Smtp, "smtp://WWW.mail.example"),
            "Checking SMTP: Success|Response time: 25 milli-seconds|Checking time-out: "
            "Success|passed");
  EXPECT_EQ(Network->Calls.back(), "greeting mail.example smtp in 10000");
  Network->Greet = {0, "+ok", 0};
  EXPECT_EQ(Run(Pop3, "m"),
            "Checking POP3: Success|Response time: 1 milli-seconds|Checking time-out: "
            "Success|passed");
  Network->Greet = {0, "220 ftp", 5000};
  EXPECT_EQ(Run(Ftp, "m"),
            "Checking FTP: Success|Response time: 5000 milli-seconds|Checking time-out: "
            "Failure|failed");
  Network->Greet = {0, "421 Too many users", 5};
  EXPECT_EQ(Run(Ftp, "m"), "Checking FTP: Success|failed");
}

TEST(TestOutput, StreamAndTranscriptAppendTheOutcomeToTheStepsLine) {
  std::ostringstream stream;
  {
    TStreamTestOutput output(stream);
    output.AddLine("Start testing");
    output.AddLine("Pinging: ");
    EXPECT_EQ(stream.str(), "Start testing\nPinging: ");
    output.AppendToLine("Success");
    output.AddLine("Test failed.");
  }
  EXPECT_EQ(stream.str(), "Start testing\nPinging: Success\nTest failed.\n");
  TTestTranscript transcript;
  transcript.AppendToLine("x");  // nothing to append to yet: a line is made
  transcript.AddLine("Loading page: ");
  transcript.AppendToLine("Failure");
  EXPECT_EQ(transcript.Lines, (std::vector<std::string>{"x", "Loading page: Failure"}));
}

}  // namespace
}  // namespace vantrel
