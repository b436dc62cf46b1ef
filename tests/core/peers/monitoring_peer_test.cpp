// The monitoring test's lines against real servers on loopback. The measured
// times vary, so each "Response time: " line is checked for a number of at
// least 1 and then read as "Response time: N milli-seconds".

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/monitoring_test.h"
#include "support/peer_nginx.h"
#include "support/peer_scripted_server.h"

namespace vantrel {
namespace {

using Texts = std::vector<std::string>;
using test::TNginxPeer;
using test::TPeerConnection;
using test::TScriptedPeer;

constexpr const char* kTimePrefix = "Response time: ";
constexpr const char* kTimeSuffix = " milli-seconds";

// The lines with each measured time replaced by N, once it has been found to
// be a whole number of at least 1 ms.
Texts WithoutTimes(const Texts& lines) {
  Texts result;
  const std::string prefix = kTimePrefix;
  const std::string suffix = kTimeSuffix;
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) != 0 || line.size() <= prefix.size() + suffix.size()) {
      result.push_back(line);
      continue;
    }
    const std::string number =
        line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
    EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix) << line;
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << line;
    EXPECT_GE(std::atoi(number.c_str()), 1) << line;
    result.push_back(prefix + "N" + suffix);
  }
  return result;
}

Texts RunTest(TMonitoringTest& test, const TMonitoringTestSettings& settings, bool& passed) {
  TTestTranscript transcript;
  passed = test.Run(settings, transcript);
  return transcript.Lines;
}

TMonitoringTestSettings Settings(TCheckType checkType, const std::string& url) {
  TMonitoringTestSettings settings;
  settings.CheckType = checkType;
  settings.Url = url;
  return settings;
}

TEST(MonitoringTestAgainstPeers, PingOfTheLoopbackAddresses) {
  for (const std::string url : {"127.0.0.1", "icmp://::1"}) {
    TMonitoringTest test;
    bool passed = false;
    const Texts lines = RunTest(test, Settings(TCheckType::Ping, url), passed);
    EXPECT_TRUE(passed) << url;
    EXPECT_EQ(WithoutTimes(lines),
              (Texts{"Start testing", "Pinging: Success", "Response time: N milli-seconds",
                     "Checking time-out: Success", "", "Test finished successfully."}))
        << url;
  }
}

TEST(MonitoringTestAgainstPeers, PagesFoundAndNotFound) {
  TNginxPeer nginx;
  ASSERT_TRUE(nginx.Ok()) << nginx.Error();
  nginx.WriteDocument("index.html", "<p>Service is UP</p>\n");
  TMonitoringTest test;
  bool passed = false;

  TMonitoringTestSettings settings = Settings(TCheckType::Download, nginx.Url("/index.html"));
  settings.SearchText = "is up";
  EXPECT_EQ(WithoutTimes(RunTest(test, settings, passed)),
            (Texts{"Start testing", "Loading page: Success", "Response code: 200 OK",
                   "Response time: N milli-seconds", "Checking code: Success",
                   "Checking time-out: Success", "Checking page content: Success", "",
                   "Test finished successfully."}));
  EXPECT_TRUE(passed);

  settings.Url = nginx.Url("/missing.html");
  EXPECT_EQ(
      WithoutTimes(RunTest(test, settings, passed)),
      (Texts{"Start testing", "Loading page: Success", "Response code: 404 Not Found",
             "Response time: N milli-seconds", "Checking code: Failure", "", "Test failed."}));
  EXPECT_FALSE(passed);

  settings.Url = nginx.Url("/delay");
  settings.SearchText = "";
  settings.DownloadTimeout = 10;  // the page comes after 50 ms
  EXPECT_EQ(WithoutTimes(RunTest(test, settings, passed)),
            (Texts{"Start testing", "Loading page: Success", "Response code: 200 OK",
                   "Response time: N milli-seconds", "Checking code: Success",
                   "Checking time-out: Failure", "", "Test failed."}));
  EXPECT_FALSE(passed);
}

TEST(MonitoringTestAgainstPeers, ServiceGreeting) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.Send("220 mail.test ESMTP\r\n");
    connection.ReceiveUntilClosed(5000);
  });
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  TMonitoringTest test(TServicePorts{peer.Port(), peer.Port(), peer.Port()});
  bool passed = false;
  EXPECT_EQ(WithoutTimes(RunTest(test, Settings(TCheckType::Smtp, "127.0.0.1"), passed)),
            (Texts{"Start testing", "Checking SMTP: Success", "Response time: N milli-seconds",
                   "Checking time-out: Success", "", "Test finished successfully."}));
  EXPECT_TRUE(passed);
  // The same greeting is no POP3 greeting.
  EXPECT_EQ(RunTest(test, Settings(TCheckType::Pop3, "127.0.0.1"), passed),
            (Texts{"Start testing", "Checking POP3: Success", "", "Test failed."}));
  EXPECT_FALSE(passed);
}

TEST(MonitoringTestAgainstPeers, RefusedServiceFailsItsStep) {
  const std::string port = std::to_string(test::FreeLoopbackPort());
  TMonitoringTest test(TServicePorts{port, port, port});
  bool passed = true;
  EXPECT_EQ(RunTest(test, Settings(TCheckType::Ftp, "ftp://127.0.0.1"), passed),
            (Texts{"Start testing", "Checking FTP: Failure", "", "Test failed."}));
  EXPECT_FALSE(passed);
}

}  // namespace
}  // namespace vantrel
